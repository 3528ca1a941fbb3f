#include "store/eviction.h"

std::optional<size_t> least_recent(const std::vector<int64_t>& updated_at, const std::vector<bool>& marked,
                                   std::optional<size_t> protect) {
  std::optional<size_t> best;
  for (size_t i = 0; i < updated_at.size(); ++i) {
    if (marked[i] || i == protect) continue;
    // Strictly smaller only: among equal times the earlier chain stays chosen.
    if (!best || updated_at[i] < updated_at[*best]) best = i;
  }
  return best;
}

std::vector<bool> choose_evictions(const std::vector<int64_t>& updated_at, size_t keep,
                                   std::optional<size_t> protect) {
  std::vector<bool> marked(updated_at.size(), false);
  size_t unmarked = updated_at.size();
  while (unmarked > keep) {
    std::optional<size_t> victim = least_recent(updated_at, marked, protect);
    if (!victim) break;
    marked[*victim] = true;
    --unmarked;
  }
  return marked;
}
