#include "mcp/request_id.h"

#include <cstring>

namespace {

// The text has been parsed already, so these walk valid JSON and need not
// check its grammar; they only stay inside the text.

bool json_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t skip_blanks(std::string_view s, size_t i) {
  while (i < s.size() && json_blank(s[i])) ++i;
  return i;
}

// From the opening quote to just after the closing one: the first quote
// that follows an even run of backslashes (every backslash escapes the
// byte after it).
size_t skip_string(std::string_view s, size_t i) {
  for (++i; i < s.size();) {
    const void* hit = std::memchr(s.data() + i, '"', s.size() - i);
    if (!hit) return s.size();
    size_t quote = static_cast<size_t>(static_cast<const char*>(hit) - s.data());
    size_t backslashes = 0;
    while (quote - backslashes > i && s[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return quote + 1;
    i = quote + 1;
  }
  return s.size();
}

size_t skip_value(std::string_view s, size_t i) {
  if (i >= s.size()) return i;
  if (s[i] == '"') return skip_string(s, i);
  if (s[i] == '{' || s[i] == '[') {
    size_t depth = 0;
    while (i < s.size()) {
      char c = s[i];
      if (c == '"') {
        i = skip_string(s, i);
        continue;
      }
      ++i;
      if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i;
      }
    }
    return i;
  }
  while (i < s.size() && !json_blank(s[i]) && s[i] != ',' && s[i] != '}' && s[i] != ']') ++i;
  return i;
}

bool number_byte(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

}  // namespace

std::string_view raw_member_value(std::string_view text, size_t index) {
  size_t i = skip_blanks(text, 0);
  if (i >= text.size() || text[i] != '{') return {};
  ++i;
  for (size_t k = 0;; ++k) {
    i = skip_blanks(text, i);
    if (i >= text.size() || text[i] != '"') return {};
    i = skip_blanks(text, skip_string(text, i));
    if (i >= text.size() || text[i] != ':') return {};
    size_t start = skip_blanks(text, i + 1);
    size_t end = skip_value(text, start);
    if (k == index) return text.substr(start, end - start);
    i = skip_blanks(text, end);
    if (i >= text.size() || text[i] != ',') return {};
    ++i;
  }
}

bool request_id_text(std::string_view line, JsonVal root, std::string_view& id) {
  std::optional<size_t> index = json_member_index(root, "id");
  if (!index) return false;
  std::string_view value = raw_member_value(line, *index);
  if (value.empty()) return false;
  if (value.front() == '"') {
    id = value;
    return true;
  }
  size_t digits = 0;
  while (digits < value.size() && number_byte(value[digits])) ++digits;
  if (digits == 0) return false;
  id = value.substr(0, digits);
  return true;
}
