#include "common/file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace {

// Reads the whole file in binary mode into out, through a FileReader with
// the program's cap. False, with out untouched, when the file cannot be
// opened, its size cannot be determined, or it is larger than
// READ_FILE_MAX. A short read is no failure: out holds what was read.
bool read_file(const char* path, std::string& out) {
  FileReader reader(path, READ_FILE_MAX);
  if (reader.status() != FileOpen::ok) return false;
  std::string content(static_cast<size_t>(reader.size()), '\0');
  size_t got = 0;
  for (size_t n; got < content.size() && (n = reader.read(content.data() + got, content.size() - got)) > 0;)
    got += n;
  content.resize(got);
  out = std::move(content);
  return true;
}

}  // namespace

TEST(ReadFile, SizesAroundTheCap) {
  TempDir dir;
  std::string exact(READ_FILE_MAX, 'a');
  exact.front() = '\0';  // binary content, a NUL included
  exact.back() = '\n';
  write_bytes(dir.file("empty"), "");
  write_bytes(dir.file("crlf"), "a\r\nb\r\n");
  write_bytes(dir.file("exact"), exact);
  write_bytes(dir.file("over"), exact + "x");

  struct Case {
    std::string path;
    bool ok;
    std::string want;  // content, or what out keeps on failure
  } cases[] = {
      {dir.file("missing"), false, "untouched"}, {dir.file("empty"), true, ""},
      {dir.file("crlf"), true, "a\r\nb\r\n"},    {dir.file("exact"), true, exact},
      {dir.file("over"), false, "untouched"},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(read_file(c.path.c_str(), out), c.ok) << c.path;
    EXPECT_TRUE(out == c.want) << c.path << ": " << out.size() << " bytes, want " << c.want.size();
  }
}
