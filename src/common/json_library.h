// The JSON library as the JSON helpers use it (json*.cpp of this folder and
// nothing else): how its reader is set up, and the reading of a whole text
// held in memory. The library's configuration (its RAPIDJSON_* settings) is
// given by the build, the same to every file that includes it.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/json.h"
#include "common/json_strict.h"

namespace json_library {

// Strict standard JSON, parsed without recursion; the reader's own checks
// of the encoding are off, since the rules of json_strict.h check every
// byte. Numbers take the library's normal-precision path: its
// full-precision path shifts by a count of leading zeros of a zero
// significand on some long inputs.
constexpr unsigned kReadFlags = rapidjson::kParseIterativeFlag;

using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator>;

// A JsonVal views a value of a document's tree.
inline const rapidjson::Value* value_of(JsonVal v) { return static_cast<const rapidjson::Value*>(v.raw); }
inline JsonVal val_of(const rapidjson::Value* v) { return JsonVal{v}; }

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

// Reads a whole text held in memory into the handler's events, with every
// rule of json_strict.h (a NUL fails the text). False when the text is no
// strict JSON text; the handler may have had events by then.
template <class Handler>
bool read_text(std::string_view text, Handler& handler) {
  if (!json_strict_text(text)) return false;
  // The reader scans a text in memory with aligned SIMD loads, which stay
  // within the page but may reach up to 15 bytes past the terminating NUL;
  // the copy it reads carries that many more.
  std::string padded;
  padded.reserve(text.size() + 16);
  padded.append(text).append(16, '\0');
  rapidjson::StringStream stream(padded.c_str());
  StrictStrings<Handler> strict{handler};
  Reader reader;
  return !reader.Parse<kReadFlags>(stream, strict).IsError();
}

}  // namespace json_library
