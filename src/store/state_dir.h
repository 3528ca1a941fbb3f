// Where the chain store lives and how large it may grow. Everything is
// computed afresh from the environment at each call; nothing is created.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

inline constexpr int MAX_CHAINS = 50;
inline constexpr int MAX_THOUGHTS_EACH = 1000;
inline constexpr int64_t DEFAULT_MAX_HISTORY = 1000;

// The state directory: VELTRANE_STATE_DIR, else LOCALAPPDATA's
// tavrokin\connectors\plugin_veltrane, else HOME's (or /root's)
// .tavrokin/connectors/plugin_veltrane. Empty variables count as unset.
// Cut to its first 999 bytes.
std::string state_dir();

// The state directory, the separator and "chains.json".
std::string chains_path();
std::string chains_path(const std::string& state_dir);

// The store's lock file beside the chains file: "<chains path>.lock". It is
// never renamed or removed; whoever changes the chains file holds its lock.
std::string store_lock_path(const std::string& chains_path);

// The MCP history limit from MAX_THOUGHT_HISTORY: 1000 when unset, empty or
// blank, or (with a warning line on err) when it is not all digits or is 0.
int64_t read_max_history(FILE* err);
