#include "reference_json.h"

#include <rapidjson/document.h>

namespace {

int hex4(std::string_view s, size_t at) {
  if (at + 4 > s.size()) return -1;
  int v = 0;
  for (size_t i = at; i < at + 4; ++i) {
    char c = s[i];
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// A "\uDC00".."\uDFFF" escape that does not follow a high surrogate escape.
// The library rejects a high one without its low one itself. Backslashes
// outside strings fail the parse anyway, so the whole text is scanned.
bool has_lone_low_surrogate(std::string_view s) {
  bool after_high = false;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      after_high = false;
      ++i;
      continue;
    }
    int v = s[i + 1] == 'u' ? hex4(s, i + 2) : -1;
    if (v >= 0xDC00 && v <= 0xDFFF && !after_high) return true;
    after_high = v >= 0xD800 && v <= 0xDBFF;
    i += v >= 0 ? 6 : 2;
  }
  return false;
}

}  // namespace

bool reference_json_valid(std::string_view text) {
  // The library takes a NUL as the end of the text, and passes over the
  // bytes of a byte-order mark at its start.
  if (text.find('\0') != std::string_view::npos) return false;
  if (!text.empty()) {
    auto first = static_cast<unsigned char>(text[0]);
    if (first == 0xEF || first == 0xBB || first == 0xBF) return false;
  }
  if (has_lone_low_surrogate(text)) return false;
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(text.data(), text.size());
  return !doc.HasParseError();
}
