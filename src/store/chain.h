// A stored chain and the thoughts in it, as they are held in memory while a
// thought is being recorded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/thought.h"

// One thought of a stored chain.
struct StoredThought {
  std::string text;  // never contains a NUL byte
  int64_t thought_number = 0;
  int64_t total_thoughts = 0;
  bool next_needed = false;
  bool is_revision = false;
  bool needs_more = false;
  int64_t revises = 0;                   // 0 means none
  int64_t branch_from = 0;               // 0 means none
  std::optional<std::string> branch_id;  // may be the empty string
  int64_t at = 0;                        // seconds since 1970-01-01 UTC

  bool operator==(const StoredThought&) const = default;
};

// One chain: the thoughts of one MCP session, oldest first. A chain without
// an id stands in the place of a file element that could not be used; it is
// written back as an empty chain at the same position.
struct Chain {
  std::optional<std::string> id;  // the session id; never empty when present
  int64_t started_at = 0;
  int64_t updated_at = 0;
  std::vector<StoredThought> thoughts;

  bool operator==(const Chain&) const = default;
};

// Appends the thought. The array grows to 16 elements first and doubles
// whenever it is full, so its capacity is always 0 or 16 times a power of
// two.
void chain_add(Chain& chain, StoredThought thought);

// The stored form of an accepted thought, recorded at time `at`. Texts end at
// their first NUL byte, as every stored text does.
StoredThought stored_thought_from(const Thought& thought, int64_t at);

// Removes the oldest thoughts until at most `keep` remain; the capacity is
// kept.
void chain_trim(Chain& chain, size_t keep);
