// Turning the arguments of a tool call into a Thought.
#pragma once

#include <string>

#include "common/json.h"
#include "common/thought.h"

inline constexpr size_t MAX_THOUGHT_BYTES = 65536;
inline constexpr size_t MAX_BRANCH_ID_BYTES = 128;

// Reads the nine arguments in fixed order (thought, nextThoughtNeeded,
// thoughtNumber, totalThoughts, isRevision, revisesThought,
// branchFromThought, branchId, needsMoreThoughts), each from the first
// member with its name, with the lenient coercions of val_int and val_bool;
// optional ones that are null count as absent. Texts end at their first NUL
// character and lengths are counted in bytes up to it. A totalThoughts below
// thoughtNumber is raised to it. On the first failure returns false with its
// message in message and out untouched; arguments that are absent or not an
// object fail like a missing thought.
bool read_thought(JsonVal args, Thought& out, std::string& message);
