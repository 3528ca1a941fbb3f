// The chains file as the web actions read it.
#pragma once

#include <optional>

#include "common/json.h"

// Parses the chains file (up to its first NUL byte). A missing file, one
// that cannot be opened or one larger than the read cap reads as the empty
// store {"chains":[]}; an existing file that does not parse (an empty one
// included) gives nothing. The document's shape is not checked. Never
// creates, locks or changes anything.
std::optional<JsonDoc> load_chains();
