#include "mcp/request_id.h"

namespace {

bool blank(char c) { return c >= 1 && c <= 32; }

bool number_byte(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

}  // namespace

bool extract_request_id(std::string_view line, std::string& id) {
  size_t at = line.find("\"id\"");
  if (at == std::string_view::npos) return false;
  size_t i = at + 4;
  while (i < line.size() && blank(line[i])) ++i;
  if (i == line.size() || line[i] != ':') return false;
  ++i;
  while (i < line.size() && blank(line[i])) ++i;
  if (i == line.size()) return false;

  size_t start = i;
  if (line[i] == '"') {
    // A backslash and the byte after it go together, so an escaped quote does
    // not end the string.
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\') ++i;
    }
    if (i >= line.size()) return false;
    id.assign(line.substr(start, i + 1 - start));
    return true;
  }
  while (i < line.size() && number_byte(line[i])) ++i;
  if (i == start) return false;
  id.assign(line.substr(start, i - start));
  return true;
}
