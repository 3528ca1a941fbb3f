#include "web/body_field.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/text.h"

std::optional<JsonDoc> body_parse(std::string_view body) { return json_parse(up_to_nul(body)); }

bool json_str_field(JsonVal root, std::string_view name, char* out, size_t capacity) {
  JsonVal field = json_member(root, name);
  char digits[32];
  std::string_view value;
  if (json_is_string(field)) {
    value = up_to_nul(json_str(field));
  } else if (json_is_int(field)) {
    int n = std::snprintf(digits, sizeof digits, "%" PRId64, json_int(field));
    value = std::string_view(digits, static_cast<size_t>(n));
  } else if (json_is_bool(field)) {
    value = json_is_true(field) ? "true" : "false";
  } else {
    return false;
  }
  value = value.substr(0, capacity - 1);
  std::memcpy(out, value.data(), value.size());
  out[value.size()] = '\0';
  return true;
}
