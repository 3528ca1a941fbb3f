// For fuzz targets whose input is a name, a LF and a text (a query or a
// request body). Without a LF the whole input is the text and the name is
// the given default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct NamedInput {
  std::string name;
  std::string text;
};

inline NamedInput split_named_input(const uint8_t* data, size_t size, const char* default_name) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\n');
  if (split == std::string::npos) return {default_name, input};
  return {input.substr(0, split), input.substr(split + 1)};
}

// Stops the run at a broken expectation, in every build type.
inline void check(bool ok) {
  if (!ok) __builtin_trap();
}
