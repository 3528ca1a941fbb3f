#include "web/query.h"

#include <cstring>

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes in place; the text only ever gets shorter.
void url_decode(char* s) {
  char* w = s;
  for (const char* r = s; *r; ++r) {
    if (*r == '+') {
      *w++ = ' ';
    } else if (*r == '%' && hex_value(r[1]) >= 0 && hex_value(r[2]) >= 0) {
      char byte = static_cast<char>(hex_value(r[1]) * 16 + hex_value(r[2]));
      if (byte == '\0') break;
      *w++ = byte;
      r += 2;
    } else {
      *w++ = *r;
    }
  }
  *w = '\0';
}

}  // namespace

bool get_query_val(const char* query, const char* name, char* out, size_t capacity) {
  if (!query) return false;
  out[0] = '\0';
  const size_t name_len = std::strlen(name);
  for (const char* p = query; *p;) {
    const char* end = std::strchr(p, '&');
    const size_t param_len = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (param_len > name_len && std::memcmp(p, name, name_len) == 0 && p[name_len] == '=') {
      const char* value = p + name_len + 1;
      size_t n = param_len - name_len - 1;
      // The cut counts raw bytes and comes before decoding.
      if (n > capacity - 1) n = capacity - 1;
      std::memcpy(out, value, n);
      out[n] = '\0';
      url_decode(out);
      return true;
    }
    if (!end) break;
    p = end + 1;
  }
  return false;
}
