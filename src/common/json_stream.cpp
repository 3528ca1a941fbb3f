#include "common/json_stream.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <string>

#include "common/json_reading.h"

using json_library::MemoryInput;
using json_library::Pieces;
using json_library::PieceStream;

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

// Appends the string literal the library's writer writes for these bytes:
// a quote and a backslash escaped, \b \t \n \f \r, the other bytes below
// 0x20 as \u00XX, every other byte as it is. Runs of ordinary bytes are
// copied whole.
void append_literal(std::string& out, const char* s, size_t n) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (const char* const e = s + n;;) {
    size_t run = json_library::ordinary_run(s, e);
    out.append(s, run);
    s += run;
    if (s == e) break;
    auto c = static_cast<unsigned char>(*s++);
    out += '\\';
    switch (c) {
      case '"':
      case '\\':
        out += static_cast<char>(c);
        break;
      case '\b':
        out += 'b';
        break;
      case '\t':
        out += 't';
        break;
      case '\n':
        out += 'n';
        break;
      case '\f':
        out += 'f';
        break;
      case '\r':
        out += 'r';
        break;
      default:
        out += "u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
  }
  out += '"';
}

// Writes the reader's events as compact text, byte for byte as the
// library's writer writes json_parse's document (json_write): the reader
// reports each number as the document holds it, integers are written in
// decimal, reals by the library's writer, strings as append_literal writes
// them. The reader delivers only well-formed sequences of events, so one
// flag places the commas: after a value one comes before the next value or
// key, after an opening bracket or a key none.
struct CompactWriter {
  std::string& out;
  bool comma = false;

  bool scalar(std::string_view text) {
    if (comma) out += ',';
    out += text;
    comma = true;
    return true;
  }
  template <class Integer>
  bool integer(Integer v) {
    char digits[24];
    return scalar(
        std::string_view(digits, static_cast<size_t>(std::to_chars(digits, digits + 24, v).ptr - digits)));
  }
  bool open(char bracket) {
    if (comma) out += ',';
    out += bracket;
    comma = false;
    return true;
  }
  bool close(char bracket) {
    out += bracket;
    comma = true;
    return true;
  }

  bool Null() { return scalar("null"); }
  bool Bool(bool b) { return scalar(b ? "true" : "false"); }
  bool Int(int i) { return integer(i); }
  bool Uint(unsigned u) { return integer(u); }
  bool Int64(int64_t i) { return integer(i); }
  bool Uint64(uint64_t u) { return integer(u); }
  bool Double(double d) {
    rapidjson::StringBuffer text;
    rapidjson::Writer<rapidjson::StringBuffer> writer(text);
    return writer.Double(d) && scalar(std::string_view(text.GetString(), text.GetSize()));
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    if (comma) out += ',';
    append_literal(out, s, n);
    comma = true;
    return true;
  }
  bool Key(const char* s, rapidjson::SizeType n, bool copy) {
    String(s, n, copy);
    out += ':';
    comma = false;
    return true;
  }
  bool StartObject() { return open('{'); }
  bool EndObject(rapidjson::SizeType) { return close('}'); }
  bool StartArray() { return open('['); }
  bool EndArray(rapidjson::SizeType) { return close(']'); }
};

bool relay_events(Pieces& pieces, JsonEvents& events) {
  PieceStream stream(pieces);
  EventRelay relay{events, stream};
  return json_library::read_stream(stream, relay);
}

}  // namespace

bool json_stream(JsonInput& input, JsonEvents& events, JsonNul nul) {
  Pieces pieces(input, nul);
  return relay_events(pieces, events);
}

bool json_stream(std::string_view text, JsonEvents& events) {
  MemoryInput input(text);
  return json_stream(input, events, JsonNul::fails);
}

bool json_compact(const std::string& text, std::string& out) {
  CompactWriter compact{out};
  return json_library::read_text(text, compact);
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
  relay_events(pieces, ignore);
  return pieces.whitespace_skips;
}
