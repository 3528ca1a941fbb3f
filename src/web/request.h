// The parts of one CGI request that the JSON actions read their parameters
// from, and the reading of the request body.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "common/json.h"

// The largest request body that is read.
inline constexpr long MAX_BODY_BYTES = 2097152;

struct Request {
  const char* query = "";  // QUERY_STRING, or "" when unset; never null
  // The root of the body parsed as JSON (body_parse); absent when there is
  // no body or it does not parse. A root that is no object has no members.
  JsonVal body;
};

// The leading decimal number of CONTENT_LENGTH read as atol reads it
// (leading white space, an optional sign, digits, anything after them
// ignored; no digits give 0), except that a number beyond the range of long
// saturates instead of being undefined.
long content_length_value(const char* text);

// Reads the body CONTENT_LENGTH announces: nothing when it is unset, empty,
// or not between 1 and MAX_BODY_BYTES; otherwise the bytes from `in` until
// that many have arrived or a read yields nothing (a short body is what
// arrived).
std::optional<std::string> read_body(FILE* in, const char* content_length);
