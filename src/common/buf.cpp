#include "common/buf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/oom.h"

Buf::Buf(Buf&& other) noexcept : bytes(other.bytes), length(other.length), capacity(other.capacity) {
  other.bytes = nullptr;
  other.length = other.capacity = 0;
}

Buf& Buf::operator=(Buf&& other) noexcept {
  if (this != &other) {
    std::free(bytes);
    bytes = other.bytes;
    length = other.length;
    capacity = other.capacity;
    other.bytes = nullptr;
    other.length = other.capacity = 0;
  }
  return *this;
}

Buf::~Buf() { std::free(bytes); }

void buf_add(Buf& b, const void* src, size_t n) {
  size_t need = b.length + n + 1;
  if (need > b.capacity) {
    size_t capacity = b.capacity;
    if (capacity == 0) {
      capacity = need <= 256 ? 256 : 512;
    }
    while (capacity < need) capacity *= 2;
    void* grown = std::realloc(b.bytes, capacity);
    if (!grown) die_out_of_memory();
    b.bytes = static_cast<char*>(grown);
    b.capacity = capacity;
  }
  if (n) std::memcpy(b.bytes + b.length, src, n);
  b.length += n;
  b.bytes[b.length] = '\0';
}

void buf_str(Buf& b, const char* s) { buf_add(b, s, std::strlen(s)); }

void buf_addf(Buf& b, const char* format, ...) {
  char local[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);  // long output is formatted a second time
  int n = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (n >= 0 && n < static_cast<int>(sizeof local)) {
    buf_add(b, local, static_cast<size_t>(n));
  } else if (n >= 0) {
    size_t size = static_cast<size_t>(n) + 1;
    std::unique_ptr<char, decltype(&std::free)> block(static_cast<char*>(std::malloc(size)), &std::free);
    if (!block) die_out_of_memory();
    std::vsnprintf(block.get(), size, format, again);
    buf_add(b, block.get(), static_cast<size_t>(n));
  }
  va_end(again);
}

void json_escape_buf(Buf& b, std::string_view s) {
  s = up_to_nul(s);
  buf_add(b, "\"", 1);
  // Runs of bytes that need no escape are copied in one piece.
  size_t plain = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    buf_add(b, s.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '\t':
        buf_add(b, "\\t", 2);
        break;
      case '\n':
        buf_add(b, "\\n", 2);
        break;
      case '\r':
        buf_add(b, "\\r", 2);
        break;
      case '"':
        buf_add(b, "\\\"", 2);
        break;
      case '\\':
        buf_add(b, "\\\\", 2);
        break;
      default:
        buf_addf(b, "\\u%04x", static_cast<unsigned>(c));
    }
  }
  buf_add(b, s.data() + plain, s.size() - plain);
  buf_add(b, "\"", 1);
}

void json_escape_buf(Buf& b, const char* s) { json_escape_buf(b, std::string_view(s ? s : "")); }
