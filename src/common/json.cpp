#include "common/json.h"

// The reader's SIMD scanning of strings in memory (x86-64 always has SSE2).
#if defined(__SSE2__) && !defined(RAPIDJSON_SSE2)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/document.h>
#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstring>
#include <memory>
#include <vector>

struct JsonDoc::Impl {
  rapidjson::Document doc;
};

JsonDoc::JsonDoc(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
JsonDoc::JsonDoc(JsonDoc&&) noexcept = default;
JsonDoc& JsonDoc::operator=(JsonDoc&&) noexcept = default;
JsonDoc::~JsonDoc() = default;

JsonVal JsonDoc::root() const { return JsonVal{static_cast<const rapidjson::Value*>(&impl_->doc)}; }

namespace {

// Strict standard JSON with valid UTF-8, parsed without recursion. Numbers
// take the library's normal-precision path: its full-precision path shifts
// by a count of leading zeros of a zero significand on some long inputs.
constexpr unsigned kParseFlags = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;

const rapidjson::Value* get(JsonVal v) { return static_cast<const rapidjson::Value*>(v.raw); }

JsonVal wrap(const rapidjson::Value* v) { return JsonVal{v}; }

// EF, BB and BF: the bytes of a UTF-8 byte-order mark.
bool is_mark_byte(char c) {
  auto b = static_cast<unsigned char>(c);
  return b == 0xEF || b == 0xBB || b == 0xBF;
}

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

// The reader decodes a "\uDC00".."\uDFFF" escape that does not follow a
// high surrogate escape into bytes that are not UTF-8; written out again,
// they would make the text unreadable. Such an escape is invalid JSON text.
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

std::optional<JsonDoc> json_parse(std::string_view text) {
  // The reader takes a NUL as the end of input and would accept what stands
  // before it; a NUL is never valid JSON text, so it fails here.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  // The reader passes over the bytes of a UTF-8 byte-order mark at the
  // start; they are no JSON text.
  if (!text.empty() && is_mark_byte(text[0])) return std::nullopt;
  if (has_lone_low_surrogate(text)) return std::nullopt;
  auto impl = std::make_unique<JsonDoc::Impl>();
  impl->doc.Parse<kParseFlags>(text.data(), text.size());
  if (impl->doc.HasParseError()) return std::nullopt;
  return JsonDoc(std::move(impl));
}

bool json_is_object(JsonVal v) { return v && get(v)->IsObject(); }
bool json_is_array(JsonVal v) { return v && get(v)->IsArray(); }
bool json_is_string(JsonVal v) { return v && get(v)->IsString(); }
bool json_is_null(JsonVal v) { return v && get(v)->IsNull(); }
bool json_is_bool(JsonVal v) { return v && get(v)->IsBool(); }
bool json_is_true(JsonVal v) { return v && get(v)->IsTrue(); }
bool json_is_int(JsonVal v) { return v && (get(v)->IsInt64() || get(v)->IsUint64()); }
bool json_is_real(JsonVal v) { return v && get(v)->IsNumber() && !json_is_int(v); }

int64_t json_int(JsonVal v) {
  if (!json_is_int(v)) return 0;
  return get(v)->IsInt64() ? get(v)->GetInt64() : static_cast<int64_t>(get(v)->GetUint64());
}

double json_real(JsonVal v) { return json_is_real(v) ? get(v)->GetDouble() : 0.0; }

std::string_view json_str(JsonVal v) {
  if (!json_is_string(v)) return {};
  return {get(v)->GetString(), get(v)->GetStringLength()};
}

size_t json_size(JsonVal v) {
  if (json_is_object(v)) return get(v)->MemberCount();
  if (json_is_array(v)) return get(v)->Size();
  return 0;
}

JsonVal json_at(JsonVal array, size_t i) {
  if (!json_is_array(array) || i >= get(array)->Size()) return {};
  return wrap(&(*get(array))[static_cast<rapidjson::SizeType>(i)]);
}

namespace {

bool key_is(const rapidjson::Value& name, std::string_view key) {
  return name.GetStringLength() == key.size() && std::memcmp(name.GetString(), key.data(), key.size()) == 0;
}

}  // namespace

JsonVal json_member(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return {};
  for (const auto& m : get(object)->GetObject()) {
    if (key_is(m.name, key)) return wrap(&m.value);
  }
  return {};
}

std::optional<size_t> json_member_index(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return std::nullopt;
  size_t i = 0;
  for (const auto& m : get(object)->GetObject()) {
    if (key_is(m.name, key)) return i;
    ++i;
  }
  return std::nullopt;
}

std::optional<std::string> json_write(JsonVal v) {
  if (!v) return std::nullopt;
  rapidjson::StringBuffer out;
  rapidjson::Writer<rapidjson::StringBuffer> writer(out);

  // An explicit stack of open containers, so that a deeply nested value
  // cannot exhaust the call stack.
  struct Open {
    const rapidjson::Value* container;
    rapidjson::SizeType next;
  };
  std::vector<Open> stack;
  const rapidjson::Value* value = get(v);
  for (;;) {
    if (value) {
      bool ok = true;
      switch (value->GetType()) {
        case rapidjson::kNullType:
          ok = writer.Null();
          break;
        case rapidjson::kFalseType:
          ok = writer.Bool(false);
          break;
        case rapidjson::kTrueType:
          ok = writer.Bool(true);
          break;
        case rapidjson::kStringType:
          ok = writer.String(value->GetString(), value->GetStringLength());
          break;
        case rapidjson::kNumberType:
          if (value->IsInt64())
            ok = writer.Int64(value->GetInt64());
          else if (value->IsUint64())
            ok = writer.Uint64(value->GetUint64());
          else
            ok = writer.Double(value->GetDouble());
          break;
        case rapidjson::kObjectType:
          ok = writer.StartObject();
          stack.push_back({value, 0});
          break;
        case rapidjson::kArrayType:
          ok = writer.StartArray();
          stack.push_back({value, 0});
          break;
      }
      if (!ok) return std::nullopt;
      value = nullptr;
    }
    if (stack.empty()) break;
    Open& top = stack.back();
    if (top.container->IsObject()) {
      if (top.next == top.container->MemberCount()) {
        if (!writer.EndObject()) return std::nullopt;
        stack.pop_back();
        continue;
      }
      const auto& m = top.container->MemberBegin()[top.next++];
      if (!writer.Key(m.name.GetString(), m.name.GetStringLength())) return std::nullopt;
      value = &m.value;
    } else {
      if (top.next == top.container->Size()) {
        if (!writer.EndArray()) return std::nullopt;
        stack.pop_back();
        continue;
      }
      value = &(*top.container)[top.next++];
    }
  }
  return std::string(out.GetString(), out.GetSize());
}

// ---- Streaming ----
//
// The streaming parse runs the library's reader with the document parse's
// flags except encoding validation, over a stream that hands it the text
// piece by piece. What the document parse checks on the way is checked
// here instead, with the same outcome for every text:
//   - UTF-8: the raw bytes are validated piece by piece as they arrive,
//     with the rules the library's validation applies (no overlong forms,
//     no encoded surrogates, nothing above U+10FFFF). Outside strings any
//     byte above 0x7F is a syntax error anyway, so validating everything
//     equals validating the strings.
//   - Lone low surrogates: the reader decodes a "\uDC00".."\uDFFF" escape
//     without a high surrogate before it into the bytes ED B0..BF xx.
//     Raw text cannot hold those bytes (they fail validation), and a
//     proper pair decodes to four bytes, so a decoded string or key that
//     came from a text with an escape holds ED A0..BF exactly when the
//     text had a lone surrogate escape.
//   - NUL: the reader takes a NUL as the end of the text. The stream ends
//     the text at the first NUL and remembers that it saw one.
//   - The start of the text: a byte of a UTF-8 byte-order mark there is
//     not JSON, and fails the text (see starts_with_mark_byte).

namespace {

// Strict UTF-8, checked piece by piece: `need` continuation bytes are still
// expected, the next one in [lo, hi].
struct Utf8Check {
  int need = 0;
  unsigned char lo = 0x80, hi = 0xBF;

  bool feed(const unsigned char* p, size_t n) {
    size_t i = 0;
    while (i < n) {
      if (need == 0) {
        // Runs of ASCII, sixteen bytes at a time.
        while (n - i >= 16) {
          uint64_t a, b;
          std::memcpy(&a, p + i, 8);
          std::memcpy(&b, p + i + 8, 8);
          if ((a | b) & 0x8080808080808080ull) break;
          i += 16;
        }
        while (i < n && p[i] < 0x80) ++i;
        if (i == n) break;
        unsigned char c = p[i++];
        lo = 0x80;
        hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
          need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
          need = 2;
          if (c == 0xE0) lo = 0xA0;  // no overlong form
          if (c == 0xED) hi = 0x9F;  // no surrogate
        } else if (c >= 0xF0 && c <= 0xF4) {
          need = 3;
          if (c == 0xF0) lo = 0x90;  // no overlong form
          if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
        } else {
          return false;  // a continuation byte, C0, C1 or F5..FF as a lead
        }
      } else {
        unsigned char c = p[i++];
        if (c < lo || c > hi) return false;
        lo = 0x80;
        hi = 0xBF;
        --need;
      }
    }
    return true;
  }
};

// The text in pieces, shared by the stream and its copies (the reader works
// on a local copy of the stream while it scans a string).
struct Pieces {
  JsonInput* input = nullptr;
  JsonNul nul = JsonNul::fails;
  std::unique_ptr<char[]> buffer{new char[JSON_STREAM_PIECE + 1]};
  uint64_t base = 0;  // offset of buffer[0] in the text
  bool ended = false;
  bool saw_nul = false;
  bool bad_utf8 = false;
  bool escape = false;   // the string or key at hand had a backslash
  bool started = false;  // the text's first byte has been looked at
  Utf8Check utf8;
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

  void next_piece() {
    Pieces& p = *pieces;
    char* buffer = p.buffer.get();
    size_t n = 0;
    do {
      p.base += static_cast<uint64_t>(end - buffer);
      n = 0;
      if (!p.ended) n = p.input->read(buffer, JSON_STREAM_PIECE);
      if (n == 0) p.ended = true;
      if (const void* nul = std::memchr(buffer, '\0', n)) {
        n = static_cast<size_t>(static_cast<const char*>(nul) - buffer);
        p.saw_nul = true;
        p.ended = true;
      }
      end = buffer + n;
    } while (n == 0 && !p.ended);
    if (starts_with_mark_byte(p, buffer, n) ||
        !p.utf8.feed(reinterpret_cast<const unsigned char*>(buffer), n)) {
      // The text fails whatever follows; reading on would be wasted.
      p.bad_utf8 = true;
      p.ended = true;
      n = 0;
    }
    if (p.ended && p.utf8.need != 0) p.bad_utf8 = true;  // cut inside a character
    cur = buffer;
    end = buffer + n;
    *end = '\0';
  }

  // A UTF-8 byte-order mark, or any byte of one, is no JSON text: the
  // library's own document parse would pass over those bytes at the start
  // of the text, and these parses must not. True when this piece holds the
  // text's first byte and it is one of them.
  static bool starts_with_mark_byte(Pieces& p, const char* piece, size_t n) {
    if (p.started || n == 0) return false;
    p.started = true;
    return is_mark_byte(piece[0]);
  }
};

// The reader skips white space between all tokens through this function
// (found by argument-dependent lookup before the library's generic one,
// which works on a copy of the stream each time).
inline void SkipWhitespace(PieceStream& is) {
  for (char c = *is.cur; c == ' ' || c == '\n' || c == '\r' || c == '\t'; c = *is.cur) is.Take();
}

using StreamReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator>;

// The reader's flags for streaming: those of the document parse, but the
// encoding is validated by the stream.
constexpr unsigned kStreamFlags = rapidjson::kParseIterativeFlag;

}  // namespace

namespace rapidjson {

// The stream keeps its position in a plain pointer, so the reader may work
// on a copy in registers; the copy is written back when it is done.
template <>
struct StreamTraits<PieceStream> {
  enum { copyOptimization = 1 };
};

// The reader copies a string byte by byte through this hook unless a stream
// supplies a faster way, as its own in-memory stream does. This one copies
// the run of ordinary bytes that the current piece holds in one step, and
// notes a backslash for the lone-surrogate check. The last byte of a piece
// is left to the reader's Take, which moves on to the next piece.
template <>
template <>
inline void StreamReader::ScanCopyUnescapedString<PieceStream, StreamReader::StackStream<char>>(
    PieceStream& is, StreamReader::StackStream<char>& os) {
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
  if (q != e && *q == '\\') is.pieces->escape = true;
  size_t n = static_cast<size_t>(q - p);
  if (q == e && n > 0) --n;
  if (n == 0) return;
  std::memcpy(os.Push(static_cast<SizeType>(n)), p, n);
  is.cur += n;
}

}  // namespace rapidjson

namespace {

bool has_lone_surrogate_bytes(const char* s, size_t n) {
  for (const char* p = s;
       (p = static_cast<const char*>(std::memchr(p, 0xED, static_cast<size_t>(s + n - p)))); ++p) {
    if (p + 1 < s + n && static_cast<unsigned char>(p[1]) >= 0xA0) return true;
  }
  return false;
}

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
  // A decoded string may be passed on unless it betrays a lone surrogate.
  bool clean(const char* s, rapidjson::SizeType n) {
    Pieces& p = *stream.pieces;
    if (!p.escape) return true;
    p.escape = false;
    return !has_lone_surrogate_bytes(s, n);
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
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }
  bool String(const char* str, rapidjson::SizeType n, bool) {
    if (!clean(str, n)) return false;
    JsonScalar s;
    s.type = JsonType::string;
    s.string = std::string_view(str, n);
    return events.scalar(s);
  }
  bool Key(const char* str, rapidjson::SizeType n, bool) {
    return clean(str, n) && events.key(std::string_view(str, n));
  }
  bool StartObject() { return events.open(true, stream.Tell()); }
  bool EndObject(rapidjson::SizeType) { return events.close(true, stream.Tell()); }
  bool StartArray() { return events.open(false, stream.Tell()); }
  bool EndArray(rapidjson::SizeType) { return events.close(false, stream.Tell()); }
};

// Writes the reader's events as compact text, as json_write writes a
// document: the reader reports each number exactly as the document would
// hold it. Every string is checked for the bytes of a lone surrogate.
struct CompactWriter {
  rapidjson::Writer<rapidjson::StringBuffer>& writer;

  bool Null() { return writer.Null(); }
  bool Bool(bool b) { return writer.Bool(b); }
  bool Int(int i) { return writer.Int64(i); }
  bool Uint(unsigned u) { return writer.Int64(u); }
  bool Int64(int64_t i) { return writer.Int64(i); }
  bool Uint64(uint64_t u) { return u > INT64_MAX ? writer.Uint64(u) : writer.Int64(static_cast<int64_t>(u)); }
  bool Double(double d) { return writer.Double(d); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    return !has_lone_surrogate_bytes(s, n) && writer.String(s, n);
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    return !has_lone_surrogate_bytes(s, n) && writer.Key(s, n);
  }
  bool StartObject() { return writer.StartObject(); }
  bool EndObject(rapidjson::SizeType) { return writer.EndObject(); }
  bool StartArray() { return writer.StartArray(); }
  bool EndArray(rapidjson::SizeType) { return writer.EndArray(); }
};

// A text held in memory, handed out in pieces.
class MemoryInput : public JsonInput {
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

template <class Handler>
bool run_stream(Pieces& pieces, PieceStream& stream, Handler& handler) {
  StreamReader reader;
  bool parsed = !reader.Parse<kStreamFlags>(stream, handler).IsError();
  if (pieces.bad_utf8) return false;
  if (pieces.saw_nul && pieces.nul == JsonNul::fails) return false;
  return parsed;
}

}  // namespace

bool json_stream(JsonInput& input, JsonEvents& events, JsonNul nul) {
  Pieces pieces;
  pieces.input = &input;
  pieces.nul = nul;
  PieceStream stream(pieces);
  EventRelay relay{events, stream};
  return run_stream(pieces, stream, relay);
}

bool json_stream(std::string_view text, JsonEvents& events) {
  MemoryInput input(text);
  return json_stream(input, events, JsonNul::fails);
}

bool json_compact(const std::string& text, std::string& out) {
  // The whole text is in memory: the reader scans it in place, with the
  // checks the stream makes done on the whole text first.
  if (text.find('\0') != std::string::npos) return false;
  if (!text.empty() && is_mark_byte(text[0])) return false;
  Utf8Check utf8;
  if (!utf8.feed(reinterpret_cast<const unsigned char*>(text.data()), text.size()) || utf8.need != 0)
    return false;
  // The reader's SIMD loads may reach up to 15 bytes past the terminating
  // NUL (never across a page), so the copy it reads carries that many more.
  std::string padded;
  padded.reserve(text.size() + 16);
  padded.append(text).append(16, '\0');
  rapidjson::StringStream stream(padded.c_str());
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  CompactWriter compact{writer};
  StreamReader reader;
  bool ok = !reader.Parse<kStreamFlags>(stream, compact).IsError();
  out.append(buffer.GetString(), buffer.GetSize());
  return ok;
}
