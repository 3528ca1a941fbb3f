// Lenient readings of tool arguments: numbers and booleans that a client may
// send as JSON text of another type.
#pragma once

#include <cstdint>

#include "common/json.h"

// An integer from a JSON integer (an unsigned value above the signed range
// keeps its bits and reads as negative), from a real that is exactly an
// integer (3.0, 1e2), or from a non-empty string holding a base-10 integer:
// leading white space and one sign are allowed, only tab, LF, CR and space
// may follow the digits, and a string of those four blanks alone reads as 0.
// False, with out untouched, for anything else: an absent value, null, a
// boolean, a container, a real with a fraction or beyond 64 bits, a string
// out of range or with other characters (an embedded NUL included).
bool val_int(JsonVal v, int64_t& out);

// A boolean from a JSON boolean, or from a string of at most 15 bytes that
// spells true or false in any letter case. False, with out untouched, for
// anything else.
bool val_bool(JsonVal v, bool& out);
