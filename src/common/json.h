// Reading JSON text, whole into a document or as a stream of events, and
// writing a value back as compact text. The only place that knows the JSON
// library; everything else goes through these records and functions.
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
// white space after it, valid UTF-8, no comments, trailing commas, NaN or
// Infinity. A NUL byte anywhere in the text fails the parse (callers that
// stop at the first NUL cut the text themselves). Integers are held as
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
// Element i of an array; absent when out of range or not an array.
JsonVal json_at(JsonVal array, size_t i);
// The first member whose key has exactly these bytes; absent when there is
// none or v is not an object. Later members with the same key never count.
JsonVal json_member(JsonVal object, std::string_view key);
// The position among the object's members of the member json_member finds;
// nothing when there is none or v is not an object.
std::optional<size_t> json_member_index(JsonVal object, std::string_view key);

// The value as compact JSON text (no white space, members and elements in
// stored order); nothing when writing fails. Works without recursion.
std::optional<std::string> json_write(JsonVal v);

// ---- Streaming reading: the same strictness, no document ----

enum class JsonType { null, boolean, integer, real, string };

// One scalar value of a streaming parse. The string's bytes (embedded NULs
// included) are valid only during the call that receives them.
struct JsonScalar {
  JsonType type = JsonType::null;
  bool boolean = false;
  int64_t integer = 0;  // as json_int: an unsigned value above the signed range keeps its bits
  std::string_view string;
};

// Receives the events of a streaming parse in document order. Returning
// false stops the parse, which then fails. Offsets count bytes from the
// start of the text: where the opening brace or bracket of a container
// stands, and where its closing one stands.
class JsonEvents {
 public:
  virtual bool scalar(const JsonScalar& value) = 0;
  virtual bool key(std::string_view name) = 0;
  virtual bool open(bool object, uint64_t offset) = 0;
  virtual bool close(bool object, uint64_t offset) = 0;

  virtual ~JsonEvents() = default;
};

// Where a streaming parse takes its text from, piece by piece.
class JsonInput {
 public:
  // Copies the next bytes of the text, at most capacity, into `into` and
  // returns how many; 0 ends the text.
  virtual size_t read(char* into, size_t capacity) = 0;

  virtual ~JsonInput() = default;
};

// What a NUL byte in the text means to a streaming parse.
enum class JsonNul {
  fails,      // the text is no JSON text (as json_parse sees it)
  ends_text,  // the text is what stands before the first NUL; the rest is neither parsed nor checked
};

// Parses the text as json_parse does, with the same strictness (valid
// UTF-8, the lone-surrogate rule, numbers held the same way, deep nesting
// without recursion, the bytes of a byte-order mark at the start passed
// over), reporting events instead of building a document.
// Memory stays small whatever the text's size: it is read in pieces of
// JSON_STREAM_PIECE bytes, and only the string at hand is held. True when
// the whole text parsed; after a failure the events already delivered must
// be disregarded.
bool json_stream(JsonInput& input, JsonEvents& events, JsonNul nul);
bool json_stream(std::string_view text, JsonEvents& events);  // a NUL fails

inline constexpr size_t JSON_STREAM_PIECE = 65536;

// The text's value written as json_write writes it from json_parse's
// document (compact, members and elements in order, the library's
// escaping and number forms), without building the document. Appended to
// out; false, with out holding a partial text, when the text does not
// parse as json_parse would parse it.
bool json_compact(const std::string& text, std::string& out);
