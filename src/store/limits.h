// How large the chain store may grow, and how much history a server keeps.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr int MAX_CHAINS = 50;
inline constexpr int MAX_THOUGHTS_EACH = 1000;
inline constexpr int64_t DEFAULT_MAX_HISTORY = 1000;

// The MCP history limit from MAX_THOUGHT_HISTORY: 1000 when unset, empty or
// blank, or (with a warning line on err) when it is not all digits or is 0.
int64_t read_max_history(FILE* err);
