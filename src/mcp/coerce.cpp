#include "mcp/coerce.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <string>

namespace {

bool trailing_blank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool int_from_real(double d, int64_t& out) {
  // Converting a real outside the 64-bit range is undefined, so the range is
  // checked first; 2^63 itself is just outside.
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
  auto i = static_cast<int64_t>(d);
  if (static_cast<double>(i) != d) return false;
  out = i;
  return true;
}

bool int_from_string(std::string_view s, int64_t& out) {
  if (s.empty() || std::memchr(s.data(), '\0', s.size())) return false;
  std::string text(s);
  char* end = nullptr;
  errno = 0;
  intmax_t n = std::strtoimax(text.c_str(), &end, 10);
  if (errno == ERANGE) return false;
  // Without digits the conversion stops at the very start, so a string of
  // blanks alone passes the check below and reads as 0.
  for (const char* p = end; *p; ++p) {
    if (!trailing_blank(*p)) return false;
  }
  out = static_cast<int64_t>(n);
  return true;
}

}  // namespace

bool val_int(JsonVal v, int64_t& out) {
  if (json_is_int(v)) {
    out = json_int(v);
    return true;
  }
  if (json_is_real(v)) return int_from_real(json_real(v), out);
  if (json_is_string(v)) return int_from_string(json_str(v), out);
  return false;
}

bool val_bool(JsonVal v, bool& out) {
  if (json_is_bool(v)) {
    out = json_is_true(v);
    return true;
  }
  if (!json_is_string(v)) return false;
  std::string_view s = json_str(v);
  if (s.size() > 15) return false;
  std::string lower;
  for (char c : s) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "true") {
    out = true;
    return true;
  }
  if (lower == "false") {
    out = false;
    return true;
  }
  return false;
}
