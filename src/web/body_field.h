// Reading one top-level member of a JSON request body as text.
#pragma once

#include <cstddef>

// Parses the NUL-terminated text as strict JSON. When the root is an object
// whose first member called `name` holds a string, an integer (written in
// decimal as a signed 64-bit number) or a boolean ("true"/"false"), writes
// that text into out, cut to capacity - 1 bytes and NUL-terminated, and
// returns true. Otherwise returns false with out untouched. Later members of
// the same name are never looked at.
bool json_str_field(const char* text, const char* name, char* out, size_t capacity);
