// How the JSON helpers run the JSON library's reader, for every reading
// entry point (json_parse, json_stream, json_compact): over PieceStream, a
// stream that takes the text piece by piece, with the rules of
// json_strict.h applied on the way (NUL, byte-order mark and UTF-8 to each
// piece as it arrives, lone surrogates to each decoded string and key).
// For the JSON helpers' .cpp files only.
#pragma once

#include <rapidjson/reader.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "common/json_stream.h"
#include "common/json_strict.h"

namespace json_library {

// Strict standard JSON, parsed without recursion; the reader's own check of
// the encoding is off, since the rules of json_strict.h check every byte.
// Numbers take the library's normal-precision path: its full-precision path
// shifts by a count of leading zeros of a zero significand on some long
// inputs.
constexpr unsigned kReadFlags = rapidjson::kParseIterativeFlag;

using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator>;

// The text in pieces, shared by the stream and its copies (the reader works
// on a local copy of the stream while it scans a string or a number).
struct Pieces {
  Pieces(JsonInput& in, JsonNul nul, size_t piece = JSON_STREAM_PIECE)
      : input(&in), strict(nul), capacity(piece), buffer(new char[piece + 1]) {}

  JsonInput* input;
  JsonStrict strict;
  size_t capacity;
  std::unique_ptr<char[]> buffer;
  uint64_t base = 0;  // offset of buffer[0] in the text
  bool ended = false;
  uint64_t whitespace_skips = 0;  // test seam: calls of SkipWhitespace below
};

// The reader's input stream over Pieces: a pointer into the current piece,
// which always ends with a NUL byte, so that Peek is a plain load and the end
// of the text reads as the NUL the reader expects.
struct PieceStream {
  typedef char Ch;
  char* cur = nullptr;
  char* end = nullptr;
  Pieces* pieces = nullptr;

  explicit PieceStream(Pieces& p) : pieces(&p) {
    cur = end = p.buffer.get();
    *cur = '\0';
    next_piece();
  }

  Ch Peek() const { return *cur; }
  Ch Take() {
    Ch c = *cur;
    if (end - cur > 1) {
      ++cur;
    } else if (cur != end) {  // the piece's last byte: on to the next piece (at the NUL, stay)
      ++cur;
      next_piece();
    }
    return c;
  }
  size_t Tell() const {
    return static_cast<size_t>(pieces->base) + static_cast<size_t>(cur - pieces->buffer.get());
  }

  // Not an output stream.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  size_t PutEnd(Ch*) { return 0; }

  // Reads until a piece holds some of the text or the text ends (its end,
  // a NUL that ends it, or a byte that fails it: reading on would be wasted).
  void next_piece() {
    Pieces& p = *pieces;
    char* buffer = p.buffer.get();
    p.base += static_cast<uint64_t>(end - buffer);
    size_t n = 0;
    while (n == 0 && !p.ended) {
      size_t got = p.input->read(buffer, p.capacity);
      n = p.strict.take(buffer, got);
      p.ended = got == 0 || p.strict.ended();
    }
    cur = buffer;
    end = buffer + n;
    *end = '\0';
  }
};

// ---- Hooks into the library's reader ----
//
// Three things the stream relies on are internals of the library's reader
// (version 1.1.0), not its documented interface. What a different version
// would do to each:
//   - StreamTraits<PieceStream>::copyOptimization: the reader scans a string
//     or a number on a copy of the stream held in registers, and writes the
//     copy back when done. The copies share one Pieces, so a copy that moves
//     on to the next piece is right once written back; and the reader makes
//     no copy while it reports a container, so the offsets json_stream
//     reports are read from the stream it was given. Without the traits
//     template this fails to compile; a reader that kept a copy across
//     container events would give wrong offsets (the stream's offset test,
//     the store readers' range tests and the store fuzz target fail).
//   - The specialisation of GenericReader's private member template
//     ScanCopyUnescapedString for this stream: the reader calls it at the
//     start of each run of a string's bytes, and its generic version does
//     nothing, leaving the reader to copy byte by byte. A changed or removed
//     template fails to compile here; a reader that no longer called it would
//     stay correct but be several times slower on strings.
//   - SkipWhitespace(PieceStream&): the reader calls SkipWhitespace(is)
//     unqualified, and this overload, found by argument-dependent lookup,
//     beats the library's template (which works on a copy of the stream each
//     time). A reader that qualified or renamed the call would pass over it
//     silently and only be slower; TEST_json_stream_whitespace_skips lets a
//     unit test fail then.
// The library's own fast paths for texts in memory (RAPIDJSON_SSE2) are not
// used: in this version they take the bytes 0x1A..0x1F for ordinary ones, so
// its reader accepts them raw in a string and its writer writes them
// unescaped.

// How many bytes from p on are ordinary string bytes: neither a quote, a
// backslash nor below 0x20, the bytes a string holds and is written with
// unchanged. Sixteen bytes at a time where the processor has SSE2 (every
// x86-64 one), never reading past e.
inline size_t ordinary_run(const char* p, const char* e) {
  const char* q = p;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"'), slash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x1F);
  while (e - q >= 16) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    __m128i low = _mm_cmpeq_epi8(_mm_max_epu8(s, control), control);  // s <= 0x1F
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(s, quote), _mm_cmpeq_epi8(s, slash)), low);
    if (int mask = _mm_movemask_epi8(hit)) return static_cast<size_t>(q - p) + __builtin_ctz(mask);
    q += 16;
  }
#endif
  while (q != e && *q != '"' && *q != '\\' && static_cast<unsigned char>(*q) >= 0x20) ++q;
  return static_cast<size_t>(q - p);
}

inline void SkipWhitespace(PieceStream& is) {
  ++is.pieces->whitespace_skips;
  for (char c = *is.cur; c == ' ' || c == '\n' || c == '\r' || c == '\t'; c = *is.cur) is.Take();
}

}  // namespace json_library

namespace rapidjson {

template <>
struct StreamTraits<json_library::PieceStream> {
  enum { copyOptimization = 1 };
};

// Copies the run of ordinary bytes that the current piece holds in one step.
// The last byte of a piece is left to the reader's Take, which moves on to
// the next piece.
template <>
template <>
inline void json_library::Reader::ScanCopyUnescapedString<json_library::PieceStream,
                                                          json_library::Reader::StackStream<char>>(
    json_library::PieceStream& is, json_library::Reader::StackStream<char>& os) {
  size_t n = json_library::ordinary_run(is.cur, is.end);
  if (is.cur + n == is.end && n > 0) --n;
  if (n == 0) return;
  std::memcpy(os.Push(static_cast<SizeType>(n)), is.cur, n);
  is.cur += n;
}

}  // namespace rapidjson

namespace json_library {

// Passes a reader's events on to another handler, failing at the first
// string or key that breaks the lone-surrogate rule.
template <class Handler>
struct StrictStrings {
  Handler& to;

  bool Null() { return to.Null(); }
  bool Bool(bool b) { return to.Bool(b); }
  bool Int(int i) { return to.Int(i); }
  bool Uint(unsigned u) { return to.Uint(u); }
  bool Int64(int64_t i) { return to.Int64(i); }
  bool Uint64(uint64_t u) { return to.Uint64(u); }
  bool Double(double d) { return to.Double(d); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }  // never asked for
  bool String(const char* s, rapidjson::SizeType n, bool copy) {
    return json_strict_decoded(std::string_view(s, n)) && to.String(s, n, copy);
  }
  bool Key(const char* s, rapidjson::SizeType n, bool copy) {
    return json_strict_decoded(std::string_view(s, n)) && to.Key(s, n, copy);
  }
  bool StartObject() { return to.StartObject(); }
  bool EndObject(rapidjson::SizeType n) { return to.EndObject(n); }
  bool StartArray() { return to.StartArray(); }
  bool EndArray(rapidjson::SizeType n) { return to.EndArray(n); }
};

// Reads the stream's text into the handler's events. False when the text
// is no strict JSON text; the handler may have had events by then.
template <class Handler>
bool read_stream(PieceStream& stream, Handler& handler) {
  StrictStrings<Handler> strict{handler};
  Reader reader;
  bool parsed = !reader.Parse<kReadFlags>(stream, strict).IsError();
  return parsed && stream.pieces->strict.passes();
}

// A text held in memory, handed out in pieces.
class MemoryInput final : public JsonInput {
 public:
  explicit MemoryInput(std::string_view text) : rest_(text) {}
  size_t read(char* into, size_t capacity) override {
    size_t n = rest_.size() < capacity ? rest_.size() : capacity;
    if (n > 0) std::memcpy(into, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
};

// The same for a whole text held in memory (a NUL fails it), copied in one
// piece when it is short enough.
template <class Handler>
bool read_text(std::string_view text, Handler& handler) {
  MemoryInput input(text);
  Pieces pieces(input, JsonNul::fails, text.size() < JSON_STREAM_PIECE ? text.size() : JSON_STREAM_PIECE);
  PieceStream stream(pieces);
  return read_stream(stream, handler);
}

}  // namespace json_library
