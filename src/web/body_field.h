// The request body as JSON, parsed once, and reading one of its top-level
// members as text.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/json.h"

// The body's text, which ends at its first NUL byte, parsed as strict JSON;
// nothing when it does not parse.
std::optional<JsonDoc> body_parse(std::string_view body);

// When root is an object whose first member called `name` holds a string,
// an integer (written in decimal as a signed 64-bit number) or a boolean
// ("true"/"false"), writes that text (up to its first NUL) into out, cut to
// capacity - 1 bytes and NUL-terminated, and returns true. Otherwise (root
// absent or no object, no such member, a value of another type) returns
// false with out untouched. Later members of the same name are never looked
// at. The capacity is at least 1.
bool json_str_field(JsonVal root, std::string_view name, char* out, size_t capacity);
