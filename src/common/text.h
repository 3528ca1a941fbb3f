// The rules every text of the program follows, whether it comes from a
// request, a tool argument or the chains file: it ends at its first NUL
// byte (a "\u0000" in JSON text included), and it is cut only between
// UTF-8 characters.
#pragma once

#include <cstddef>
#include <string_view>

// The bytes of s before its first NUL byte; all of s when it holds none.
constexpr std::string_view up_to_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

// Whether the byte continues a UTF-8 character (10xxxxxx) rather than
// starting one.
constexpr bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first max bytes of s, less the start of a character that would not
// end within them: never more than max bytes, never a character cut in
// two. Only the bytes before the cut are looked at, so any piece of a longer
// text that holds more than max bytes of it gives the same prefix. Bytes
// that are no UTF-8 are counted as they stand (a stray continuation byte is
// one byte).
constexpr std::string_view utf8_prefix(std::string_view s, size_t max) {
  if (s.size() <= max) return s;
  if (max == 0) return {};
  // The last lead byte before the cut (at most three continuation bytes
  // back), and the length of the character it starts.
  size_t lead = max - 1;
  for (int back = 0; back < 3 && lead > 0 && utf8_continuation(s[lead]); ++back) --lead;
  if (utf8_continuation(s[lead])) return s.substr(0, max);
  auto c = static_cast<unsigned char>(s[lead]);
  size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return s.substr(0, lead + length > max ? lead : max);
}
