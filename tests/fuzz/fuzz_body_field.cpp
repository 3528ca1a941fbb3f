// json_str_field over fuzzed request bodies, parsed as the web endpoint
// parses them. The input is the member name, a LF and the body. The text
// must stay NUL-terminated inside the capacity; a miss must leave the area
// untouched.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "named_input.h"
#include "web/body_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto [name, body] = split_named_input(data, size, "action");
  std::optional<JsonDoc> doc = body_parse(body);
  JsonVal root = doc ? doc->root() : JsonVal{};

  constexpr size_t kGuard = 32;
  for (size_t capacity : {size_t{16}, size_t{64}, size_t{96}}) {
    char area[96 + kGuard];
    std::memset(area, 0x5A, sizeof area);
    bool found = json_str_field(root, name, area, capacity);
    for (size_t i = capacity; i < sizeof area; ++i) check(area[i] == 0x5A);
    if (found) {
      check(std::memchr(area, '\0', capacity) != nullptr);
    } else {
      for (size_t i = 0; i < capacity; ++i) check(area[i] == 0x5A);
    }
  }
  return 0;
}
