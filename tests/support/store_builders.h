// The store's records for the unit tests: accepted thoughts, stored thoughts
// and chains, and the file read back. They use the program's own types, so
// only the in-process tests may include this (the black-box suite builds its
// fixtures as text, support/store_texts.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/thought.h"
#include "store/chain.h"

namespace store_builders {

// An accepted thought numbered n of n, next thought needed, with this text.
Thought accepted(int64_t n, std::string text = "a thought");

// A stored thought numbered n of n, recorded at time n, with this text.
StoredThought stored(int64_t n, std::string text = "t");

// A chain updated at `updated_at` with `thoughts` stored thoughts numbered
// from 1, each text `text_size` bytes of 'x'.
Chain chain_of(const std::string& id, int64_t updated_at, size_t thoughts = 0, size_t text_size = 1);

// The chains of the file at path; fails the current test unless the file is
// a store in exactly the form the writer writes for what it holds.
std::vector<Chain> chains_in_file(const std::string& path);

}  // namespace store_builders
