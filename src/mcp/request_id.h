// The request id, written back exactly as the client wrote it.
#pragma once

#include <string_view>

#include "common/json.h"

// The id of a request: the value of the root object's first member named
// "id" (as the parsed document finds it), taken from `line`, the very text
// that was parsed, so that it is echoed byte for byte: a string whole, with
// its quotes and escapes as they stand, however long; a number as its run of
// sign and digits (a fraction or an exponent is not taken). Members of
// "params" never count, wherever they stand in the line. False, with id
// untouched, when the root has no "id" or its value is null, a boolean, an
// object or an array. `id` is a view into `line`.
bool request_id_text(std::string_view line, JsonVal root, std::string_view& id);

// The raw text of the value of member number `index` (from 0) of the object
// that `text` holds; `text` must be valid JSON. Empty when there is no such
// member.
std::string_view raw_member_value(std::string_view text, size_t index);
