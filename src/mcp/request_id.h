// The request id, taken from the raw request line so that it is written back
// exactly as the client wrote it.
#pragma once

#include <string>
#include <string_view>

// Finds the first "id" key in the line (with its quotes), skips blanks
// (bytes 1 to 32) around the colon, and takes the value's text: a string
// with its quotes and its escapes as they stand, or the run of digits, '+'
// and '-' (so a number's sign and integer digits; a fraction or exponent is
// not taken). The id is taken whole however long it is, so the client can
// always match the answer, and for a line that is valid JSON it is always
// valid JSON text itself. False, with id untouched, when there is no "id",
// no colon after it, an unterminated string, or no digit run (null, true,
// false, an object or an array).
bool extract_request_id(std::string_view line, std::string& id);
