// The recorder's reading of the chains file: its text into Chain records,
// the first stage of recording a thought when the recorder does not know
// the file.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/json_stream.h"
#include "store/chain.h"

// Reads the text of a chains file in one walk (store/format_walk.h).
// Nothing when it is not a store at all: not strict JSON (a NUL byte
// anywhere, an empty text included), a root that is not an object, or a
// root whose first "chains" member is missing or not an array. Such a file
// must be kept, not overwritten.
//
// Inside a store the reading forgives: every element of "chains" keeps its
// position, an element that is not an object with a non-empty string "id"
// becomes a chain without an id; a thought that is not an object with a
// string "thought" is skipped; numbers that are not integers read as 0,
// flags are set only by the literal true, "count" and "branches" are never
// read, and unknown members are ignored. Every lookup takes the first
// member with the key. Texts end at their first NUL byte (a "\u0000"
// escape).
std::optional<std::vector<Chain>> read_chains(JsonInput& input);
std::optional<std::vector<Chain>> read_chains(std::string_view bytes);
