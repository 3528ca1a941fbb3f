#include "common/json_strict.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// EF, BB and BF: the bytes of a UTF-8 byte-order mark.
bool is_mark_byte(char c) {
  auto b = static_cast<unsigned char>(c);
  return b == 0xEF || b == 0xBB || b == 0xBF;
}

}  // namespace

size_t JsonStrict::take(const char* bytes, size_t n) {
  if (ended() || n == 0) return 0;
  if (const void* nul = std::memchr(bytes, '\0', n)) {
    n = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
    saw_nul_ = true;
  }
  if (n == 0) return 0;
  if (!started_) {
    started_ = true;
    if (is_mark_byte(bytes[0])) failed_ = true;
  }
  if (!failed_ && !utf8(reinterpret_cast<const unsigned char*>(bytes), n)) failed_ = true;
  return failed_ ? 0 : n;
}

bool JsonStrict::utf8(const unsigned char* p, size_t n) {
  size_t i = 0;
  while (i < n) {
    if (need_ == 0) {
      // Runs of ASCII, sixteen bytes at a time.
      while (n - i >= 16) {
        uint64_t a, b;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, p + i + 8, 8);
        if ((a | b) & kHighBits) break;
        i += 16;
      }
      while (i < n && p[i] < 0x80) ++i;
      if (i == n) break;
      unsigned char c = p[i++];
      lo_ = 0x80;
      hi_ = 0xBF;
      if (c >= 0xC2 && c <= 0xDF) {
        need_ = 1;
      } else if (c >= 0xE0 && c <= 0xEF) {
        need_ = 2;
        if (c == 0xE0) lo_ = 0xA0;  // no overlong form
        if (c == 0xED) hi_ = 0x9F;  // no surrogate
      } else if (c >= 0xF0 && c <= 0xF4) {
        need_ = 3;
        if (c == 0xF0) lo_ = 0x90;  // no overlong form
        if (c == 0xF4) hi_ = 0x8F;  // nothing above U+10FFFF
      } else {
        return false;  // a continuation byte, C0, C1 or F5..FF as a lead
      }
    } else {
      unsigned char c = p[i++];
      if (c < lo_ || c > hi_) return false;
      lo_ = 0x80;
      hi_ = 0xBF;
      --need_;
    }
  }
  return true;
}

bool json_strict_decoded(std::string_view decoded) {
  const char* p = decoded.data();
  const char* const end = p + decoded.size();
  // Most strings are ASCII: eight bytes at a time until the first byte above
  // 0x7F; from there a search for ED, byte by byte in a short rest.
  for (uint64_t w; end - p >= 8; p += 8) {
    std::memcpy(&w, p, 8);
    if (w & kHighBits) break;
  }
  if (end - p < 16) {
    for (; p < end; ++p) {
      if (static_cast<unsigned char>(*p) == 0xED && end - p > 1 && static_cast<unsigned char>(p[1]) >= 0xA0)
        return false;
    }
    return true;
  }
  while ((p = static_cast<const char*>(std::memchr(p, 0xED, static_cast<size_t>(end - p))))) {
    if (++p != end && static_cast<unsigned char>(*p) >= 0xA0) return false;
  }
  return true;
}
