// A growable byte buffer that always holds a NUL after its content, and the
// JSON string-literal writer every JSON text of the program goes through.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/text.h"

#if defined(__MINGW32__)
#define VELTRANE_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define VELTRANE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// Empty until the first append, which allocates at least 256 bytes. After
// any append, bytes[length] is NUL and the capacity is a power of two that
// is at least 256. The buffer owns its block; it moves but does not copy.
struct Buf {
  char* bytes = nullptr;
  size_t length = 0;
  size_t capacity = 0;

  Buf() = default;
  Buf(Buf&& other) noexcept;
  Buf& operator=(Buf&& other) noexcept;
  Buf(const Buf&) = delete;
  Buf& operator=(const Buf&) = delete;
  ~Buf();

  std::string_view view() const { return {bytes ? bytes : "", length}; }
};

// Appends n bytes (any values). Growth: the smallest power of two that is at
// least 256 and holds the content plus its NUL. Out of memory ends the
// process.
void buf_add(Buf& b, const void* src, size_t n);

// Appends the bytes of a view (any values).
inline void buf_add(Buf& b, std::string_view s) { buf_add(b, s.data(), s.size()); }

// Appends a NUL-terminated string without its terminator.
void buf_str(Buf& b, const char* s);

// Appends printf-style formatted text; a formatting error appends nothing.
void buf_addf(Buf& b, const char* format, ...) VELTRANE_PRINTF(2, 3);

// Appends s as a JSON string literal, quotes included. Tab, LF, CR, quote
// and backslash get their two-character escapes, the other bytes below 0x20
// the \u00xx form; every other byte (the slash, 0x7F, UTF-8 sequences, even
// malformed ones) is copied unchanged. The text ends at its first NUL byte
// (up_to_nul), as every text the program writes does.
void json_escape_buf(Buf& b, std::string_view s);

// The same for a NUL-terminated string; a null s gives "".
void json_escape_buf(Buf& b, const char* s);
