#include "common/file.h"

#include <cstdio>
#include <memory>

bool read_file(const char* path, std::string& out) {
  std::unique_ptr<FILE, decltype(&std::fclose)> f(std::fopen(path, "rb"), &std::fclose);
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  long size = std::ftell(f.get());
  if (size < 0 || static_cast<unsigned long>(size) > READ_FILE_MAX) return false;
  if (std::fseek(f.get(), 0, SEEK_SET) != 0) return false;
  std::string content(static_cast<size_t>(size), '\0');
  size_t got = std::fread(content.data(), 1, content.size(), f.get());
  content.resize(got);
  out = std::move(content);
  return true;
}
