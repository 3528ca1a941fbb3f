#include "common/json_stream.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstring>
#include <memory>

#include "common/json_library.h"

// The streaming parse runs the library's reader over a stream that hands it
// the text piece by piece; the rules of json_strict.h are applied to each
// piece as it arrives (NUL, byte-order mark, UTF-8) and to each decoded
// string and key (lone surrogates).

namespace {

// The text in pieces, shared by the stream and its copies (the reader works
// on a local copy of the stream while it scans a string or a number).
struct Pieces {
  Pieces(JsonInput& in, JsonNul nul) : input(&in), strict(nul) {}

  JsonInput* input;
  JsonStrict strict;
  std::unique_ptr<char[]> buffer{new char[JSON_STREAM_PIECE + 1]};
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
    if (cur != end && ++cur == end) next_piece();
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
      size_t got = p.input->read(buffer, JSON_STREAM_PIECE);
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
//     no copy while it reports a container, so EventRelay reads the offsets
//     from the stream it was given. Without the traits template this fails to
//     compile; a reader that kept a copy across container events would give
//     wrong offsets (the store readers' range tests and fuzz target fail).
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

inline void SkipWhitespace(PieceStream& is) {
  ++is.pieces->whitespace_skips;
  for (char c = *is.cur; c == ' ' || c == '\n' || c == '\r' || c == '\t'; c = *is.cur) is.Take();
}

using json_library::Reader;

}  // namespace

namespace rapidjson {

template <>
struct StreamTraits<PieceStream> {
  enum { copyOptimization = 1 };
};

// Copies the run of ordinary bytes that the current piece holds in one step.
// The last byte of a piece is left to the reader's Take, which moves on to
// the next piece.
template <>
template <>
inline void
json_library::Reader::ScanCopyUnescapedString<PieceStream, json_library::Reader::StackStream<char>>(
    PieceStream& is, json_library::Reader::StackStream<char>& os) {
  const char* p = is.cur;
  const char* const e = is.end;
  const char* q = p;
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  while (e - q >= 8) {
    // Any byte that is a quote, a backslash or below 0x20 ends the run.
    uint64_t w;
    std::memcpy(&w, q, 8);
    uint64_t quote = w ^ (kOnes * '"'), slash = w ^ (kOnes * '\\');
    uint64_t hit = ((quote - kOnes) & ~quote) | ((slash - kOnes) & ~slash) | ((w - kOnes * 0x20) & ~w);
    if (hit & kHigh) break;
    q += 8;
  }
  while (q != e && *q != '"' && *q != '\\' && static_cast<unsigned char>(*q) >= 0x20) ++q;
  size_t n = static_cast<size_t>(q - p);
  if (q == e && n > 0) --n;
  if (n == 0) return;
  std::memcpy(os.Push(static_cast<SizeType>(n)), p, n);
  is.cur += n;
}

}  // namespace rapidjson

namespace {

// Passes the reader's events on as JsonEvents.
struct EventRelay {
  JsonEvents& events;
  PieceStream& stream;

  bool integer(int64_t v) {
    JsonScalar s;
    s.type = JsonType::integer;
    s.integer = v;
    return events.scalar(s);
  }

  bool Null() { return events.scalar(JsonScalar{}); }
  bool Bool(bool b) {
    JsonScalar s;
    s.type = JsonType::boolean;
    s.boolean = b;
    return events.scalar(s);
  }
  bool Int(int i) { return integer(i); }
  bool Uint(unsigned u) { return integer(u); }
  bool Int64(int64_t i) { return integer(i); }
  bool Uint64(uint64_t u) { return integer(static_cast<int64_t>(u)); }
  bool Double(double) {
    JsonScalar s;
    s.type = JsonType::real;
    return events.scalar(s);
  }
  bool String(const char* str, rapidjson::SizeType n, bool) {
    JsonScalar s;
    s.type = JsonType::string;
    s.string = std::string_view(str, n);
    return events.scalar(s);
  }
  bool Key(const char* str, rapidjson::SizeType n, bool) { return events.key(std::string_view(str, n)); }
  bool StartObject() { return events.open(true, stream.Tell()); }
  bool EndObject(rapidjson::SizeType) { return events.close(true, stream.Tell()); }
  bool StartArray() { return events.open(false, stream.Tell()); }
  bool EndArray(rapidjson::SizeType) { return events.close(false, stream.Tell()); }
};

// Writes the reader's events as compact text, as json_write writes a
// document: the reader reports each number exactly as the document would
// hold it.
struct CompactWriter {
  rapidjson::Writer<rapidjson::StringBuffer>& writer;

  bool Null() { return writer.Null(); }
  bool Bool(bool b) { return writer.Bool(b); }
  bool Int(int i) { return writer.Int64(i); }
  bool Uint(unsigned u) { return writer.Int64(u); }
  bool Int64(int64_t i) { return writer.Int64(i); }
  bool Uint64(uint64_t u) { return u > INT64_MAX ? writer.Uint64(u) : writer.Int64(static_cast<int64_t>(u)); }
  bool Double(double d) { return writer.Double(d); }
  bool String(const char* s, rapidjson::SizeType n, bool) { return writer.String(s, n); }
  bool Key(const char* s, rapidjson::SizeType n, bool) { return writer.Key(s, n); }
  bool StartObject() { return writer.StartObject(); }
  bool EndObject(rapidjson::SizeType) { return writer.EndObject(); }
  bool StartArray() { return writer.StartArray(); }
  bool EndArray(rapidjson::SizeType) { return writer.EndArray(); }
};

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

// The streaming parse with its own Pieces, so that a test can look at them.
bool run_stream(Pieces& pieces, JsonEvents& events) {
  PieceStream stream(pieces);
  EventRelay relay{events, stream};
  json_library::StrictStrings<EventRelay> strict{relay};
  Reader reader;
  bool parsed = !reader.Parse<json_library::kReadFlags>(stream, strict).IsError();
  return parsed && pieces.strict.passes();
}

}  // namespace

bool json_stream(JsonInput& input, JsonEvents& events, JsonNul nul) {
  Pieces pieces(input, nul);
  return run_stream(pieces, events);
}

bool json_stream(std::string_view text, JsonEvents& events) {
  MemoryInput input(text);
  return json_stream(input, events, JsonNul::fails);
}

bool json_compact(const std::string& text, std::string& out) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  CompactWriter compact{writer};
  bool ok = json_library::read_text(text, compact);
  out.append(buffer.GetString(), buffer.GetSize());
  return ok;
}

uint64_t TEST_json_stream_whitespace_skips(std::string_view text) {
  struct Ignore final : JsonEvents {
    bool scalar(const JsonScalar&) override { return true; }
    bool key(std::string_view) override { return true; }
    bool open(bool, uint64_t) override { return true; }
    bool close(bool, uint64_t) override { return true; }
  } ignore;
  MemoryInput input(text);
  Pieces pieces(input, JsonNul::fails);
  run_stream(pieces, ignore);
  return pieces.whitespace_skips;
}
