// Reading a JSON text whole into a document, and reading its values. The
// JSON helpers (this header, json_stream.h for reading without a document,
// json_strict.h for the rules both apply) are the only place that knows the
// JSON library; everything else goes through their records and functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A read-only view of one value inside a JsonDoc, or of nothing (absent).
// Every accessor accepts an absent value and treats it as the wrong type.
// Valid while its document lives.
struct JsonVal {
  const void* raw = nullptr;
  explicit operator bool() const { return raw != nullptr; }
};

// An owned, parsed document.
class JsonDoc {
 public:
  JsonDoc(JsonDoc&&) noexcept;
  JsonDoc& operator=(JsonDoc&&) noexcept;
  ~JsonDoc();
  JsonVal root() const;

  struct Impl;

 private:
  explicit JsonDoc(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  friend std::optional<JsonDoc> json_parse(std::string_view text);
};

// Parses exactly these bytes as strict standard JSON: one value, nothing but
// white space after it, no comments, trailing commas, NaN or Infinity, and
// the rules of json_strict.h (valid UTF-8, no lone surrogate escape, no
// byte-order mark). A NUL byte anywhere in the text fails the parse (callers
// that stop at the first NUL cut the text themselves). Integers are held as
// signed or unsigned 64-bit values, larger ones as reals; duplicate members
// stay in document order. Deep nesting is parsed without recursion.
std::optional<JsonDoc> json_parse(std::string_view text);

bool json_is_object(JsonVal v);
bool json_is_array(JsonVal v);
bool json_is_string(JsonVal v);
bool json_is_null(JsonVal v);
bool json_is_bool(JsonVal v);
bool json_is_true(JsonVal v);
// A number held as a signed or unsigned 64-bit integer.
bool json_is_int(JsonVal v);
// A number held as a real (a fraction, an exponent, or too large for 64 bits).
bool json_is_real(JsonVal v);

// The integer's value as signed 64 bits (an unsigned value above the signed
// range keeps its bits and reads as negative); 0 for anything else.
int64_t json_int(JsonVal v);
// The real's value; 0 for anything else.
double json_real(JsonVal v);
// The string's bytes, embedded NULs included; empty for anything else.
std::string_view json_str(JsonVal v);

// Members of an object or elements of an array; 0 for anything else.
size_t json_size(JsonVal v);
// The first member whose key has exactly these bytes; absent when there is
// none or v is not an object. Later members with the same key never count.
JsonVal json_member(JsonVal object, std::string_view key);
// The position among the object's members of the member json_member finds;
// nothing when there is none or v is not an object.
std::optional<size_t> json_member_index(JsonVal object, std::string_view key);

// ---- Extra functions (for testing) ----
// The program reads no element of a document's array and writes no
// document back (its JSON text goes through common/buf.h); only the tests
// and their reference readers call these.

// Element i of an array; absent when out of range or not an array.
JsonVal json_at(JsonVal array, size_t i);

// The value as compact JSON text (no white space, members and elements in
// stored order, the library's escaping and number forms); nothing when
// writing fails. Works without recursion.
std::optional<std::string> json_write(JsonVal v);
