// Reading a JSON text without building a document: as a stream of events,
// or straight into its compact form. The same strictness as json_parse
// (json.h), the rules of json_strict.h included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/json_strict.h"

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

// Parses the text as json_parse does, with the same strictness (the rules
// of json_strict.h, numbers held the same way, deep nesting without
// recursion), reporting events instead of building a document; a NUL byte
// means what `nul` says. Memory stays small whatever the text's size: it is
// read in pieces of JSON_STREAM_PIECE bytes, and only the string at hand is
// held. True when the whole text parsed; after a failure the events already
// delivered must be disregarded.
bool json_stream(JsonInput& input, JsonEvents& events, JsonNul nul);
bool json_stream(std::string_view text, JsonEvents& events);  // a NUL fails

inline constexpr size_t JSON_STREAM_PIECE = 65536;

// The text's value written as json_write writes it from json_parse's
// document (compact, members and elements in order, the library's
// escaping and number forms), without building the document. Appended to
// out; false, with out holding a partial text, when the text does not
// parse as json_parse would parse it.
bool json_compact(const std::string& text, std::string& out);

// ---- Extra functions (for testing) ----

// How many times a streaming parse of the text skipped white space through
// the stream's own skip (see json_reading.h); 0 when the library's reader
// no longer calls it.
uint64_t TEST_json_stream_whitespace_skips(std::string_view text);
