#include "web/body_field.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/json.h"

bool json_str_field(const char* text, const char* name, char* out, size_t capacity) {
  auto doc = json_parse(std::string_view(text, std::strlen(text)));
  if (!doc) return false;
  JsonVal field = json_member(doc->root(), name);
  std::string value;
  if (json_is_string(field)) {
    value = json_str(field);
  } else if (json_is_int(field)) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%" PRId64, json_int(field));
    value = digits;
  } else if (json_is_bool(field)) {
    value = json_is_true(field) ? "true" : "false";
  } else {
    return false;
  }
  size_t n = value.size() < capacity - 1 ? value.size() : capacity - 1;
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return true;
}
