// Choosing which chains leave the store when it holds too many or grows too
// large: always the least recently updated one, never the protected one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The unmarked chain with the smallest updated_at (signed comparison), the
// one nearest the front among equals, leaving out `protect`. Nothing when
// no such chain is left.
std::optional<size_t> least_recent(const std::vector<int64_t>& updated_at, const std::vector<bool>& marked,
                                   std::optional<size_t> protect);

// Marks chains, least recent first, until at most `keep` are unmarked or
// only the protected chain is left unmarked. One mark per chain.
std::vector<bool> choose_evictions(const std::vector<int64_t>& updated_at, size_t keep,
                                   std::optional<size_t> protect);

// Removes the marked elements, keeping the order of the others.
template <class T>
void remove_marked(std::vector<T>& v, const std::vector<bool>& marked) {
  size_t out = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (marked[i]) continue;
    if (out != i) v[out] = std::move(v[i]);
    ++out;
  }
  v.resize(out);
}
