// A file read in pieces (FileReader) as the text of a streaming parse.
#pragma once

#include "common/file.h"
#include "common/json_stream.h"

class FileInput final : public JsonInput {
 public:
  explicit FileInput(FileReader& reader) : reader_(reader) {}
  size_t read(char* into, size_t capacity) override { return reader_.read(into, capacity); }

 private:
  FileReader& reader_;
};
