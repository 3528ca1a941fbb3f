#include "store/chain.h"

#include "common/text.h"

void chain_add(Chain& chain, StoredThought thought) {
  std::vector<StoredThought>& v = chain.thoughts;
  if (v.size() == v.capacity()) v.reserve(v.empty() ? 16 : 2 * v.size());
  v.push_back(std::move(thought));
}

StoredThought stored_thought_from(const Thought& thought, int64_t at) {
  StoredThought t;
  t.text = up_to_nul(thought.thought);
  t.thought_number = thought.thoughtNumber;
  t.total_thoughts = thought.totalThoughts;
  t.next_needed = thought.nextThoughtNeeded;
  t.is_revision = thought.isRevision;
  t.needs_more = thought.needsMoreThoughts;
  t.revises = thought.revisesThought;
  t.branch_from = thought.branchFromThought;
  if (thought.branchId) t.branch_id = std::string(up_to_nul(*thought.branchId));
  t.at = at;
  return t;
}

void chain_trim(Chain& chain, size_t keep) {
  std::vector<StoredThought>& v = chain.thoughts;
  if (v.size() <= keep) return;
  v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() - keep));
}
