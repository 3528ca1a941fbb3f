#include "web/request.h"

#include <climits>

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

long content_length_value(const char* text) {
  const char* p = text;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    long digit = *p - '0';
    if (value > (LONG_MAX - digit) / 10) return negative ? LONG_MIN : LONG_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::optional<std::string> read_body(FILE* in, const char* content_length) {
  if (!content_length || !*content_length) return std::nullopt;
  long announced = content_length_value(content_length);
  if (announced < 1 || announced > MAX_BODY_BYTES) return std::nullopt;
  std::string body(static_cast<size_t>(announced), '\0');
  size_t got = 0;
  while (got < body.size()) {
    size_t n = std::fread(body.data() + got, 1, body.size() - got, in);
    if (n == 0) break;
    got += n;
  }
  body.resize(got);
  return body;
}
