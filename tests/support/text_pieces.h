// A text held in memory, handed to a streaming parse in pieces of at most
// `piece` bytes, so that tests see every way a text can be cut.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/json_stream.h"

class TextPieces final : public JsonInput {
 public:
  TextPieces(std::string_view text, size_t piece) : rest_(text), piece_(piece) {}
  size_t read(char* into, size_t capacity) override {
    size_t n = std::min({rest_.size(), capacity, piece_});
    if (n > 0) std::memcpy(into, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
  size_t piece_;
};
