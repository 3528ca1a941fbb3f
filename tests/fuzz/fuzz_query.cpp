// get_query_val over fuzzed queries and names. The input is the name, a LF
// and the query. Every capacity the endpoint uses is tried; the value must
// stay NUL-terminated inside its capacity and never touch a byte after it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "named_input.h"
#include "web/query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto [name, query] = split_named_input(data, size, "action");

  constexpr size_t kGuard = 32;
  for (size_t capacity : {size_t{16}, size_t{64}, size_t{96}, size_t{256}}) {
    char area[256 + kGuard];
    std::memset(area, 0x5A, sizeof area);
    bool found = get_query_val(query.c_str(), name.c_str(), area, capacity);
    const void* nul = std::memchr(area, '\0', capacity);
    check(nul != nullptr);
    for (size_t i = capacity; i < sizeof area; ++i) check(area[i] == 0x5A);
    if (!found) check(area[0] == '\0');
    // Decoding only shortens: the value is never longer than the query.
    check(std::strlen(area) <= std::strlen(query.c_str()));
  }
  char untouched[4] = "abc";
  check(!get_query_val(nullptr, name.c_str(), untouched, sizeof untouched));
  check(std::strcmp(untouched, "abc") == 0);
  return 0;
}
