#include "store/live_store.h"

#include <optional>

#include "store/chains_text.h"
#include "store/eviction.h"
#include "store/state_dir.h"

namespace {

std::string thought_text(const StoredThought& t) {
  Buf b;
  stored_thought_text(b, t);
  return std::string(b.view());
}

// The length of chain k's text: head, thoughts with commas, tail.
size_t chain_length(const LiveStore& s, size_t k) {
  Buf ends;
  chain_head_text(ends, s.chains[k]);
  chain_tail_text(ends, s.chains[k]);
  size_t n = ends.length;
  for (const std::string& t : s.texts[k]) n += t.size();
  if (!s.texts[k].empty()) n += s.texts[k].size() - 1;
  return n;
}

size_t store_length(const std::vector<size_t>& chain_lengths) {
  size_t n = STORE_OPEN.size() + STORE_CLOSE.size();
  for (size_t len : chain_lengths) n += len;
  if (!chain_lengths.empty()) n += chain_lengths.size() - 1;
  return n;
}

void trim_front(LiveStore& s, size_t k, size_t keep) {
  chain_trim(s.chains[k], keep);
  std::vector<std::string>& t = s.texts[k];
  if (t.size() > keep) t.erase(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(t.size() - keep));
}

std::vector<int64_t> update_times(const LiveStore& s) {
  std::vector<int64_t> times;
  times.reserve(s.chains.size());
  for (const Chain& c : s.chains) times.push_back(c.updated_at);
  return times;
}

// Removes the marked chains; returns where `receiving` went (nothing when it
// was removed).
std::optional<size_t> evict(LiveStore& s, const std::vector<bool>& marked, std::optional<size_t> receiving) {
  std::optional<size_t> moved;
  if (receiving && !marked[*receiving]) {
    size_t before = 0;
    for (size_t i = 0; i < *receiving; ++i) before += marked[i] ? 1 : 0;
    moved = *receiving - before;
  }
  remove_marked(s.chains, marked);
  remove_marked(s.texts, marked);
  return moved;
}

// Evicts least recently updated chains other than the receiving one, then
// drops the receiving chain's oldest thoughts, until the text fits.
void fit_size(LiveStore& s, std::optional<size_t> receiving, size_t max_bytes) {
  std::vector<size_t> lengths;
  for (size_t k = 0; k < s.chains.size(); ++k) lengths.push_back(chain_length(s, k));
  if (store_length(lengths) <= max_bytes) return;

  std::vector<int64_t> times = update_times(s);
  std::vector<bool> marked(s.chains.size(), false);
  size_t total = store_length(lengths);
  while (total > max_bytes) {
    std::optional<size_t> victim = least_recent(times, marked, receiving);
    if (!victim) break;
    marked[*victim] = true;
    total -= lengths[*victim] + 1;  // its text and one comma
  }
  receiving = evict(s, marked, receiving);
  if (total <= max_bytes || !receiving) return;

  // Only the receiving chain is left. Dropping a thought shortens the text
  // by about its own length; the derived members can grow a little (an id
  // no longer shadowed by an earlier thought joins "branches"), so the exact
  // length is measured again after each estimate.
  size_t k = *receiving;
  // The newest thought is never dropped: on its own it fits, which the
  // caller has checked.
  for (;;) {
    size_t len = store_length({chain_length(s, k)});
    size_t n = s.texts[k].size();
    if (len <= max_bytes || n <= 1) return;
    size_t excess = len - max_bytes, drop = 0, saved = 0;
    while (drop < n - 1 && saved < excess) saved += s.texts[k][drop++].size() + 1;
    trim_front(s, k, n - drop);
  }
}

}  // namespace

LiveStore live_store_from(std::vector<Chain> chains) {
  LiveStore s;
  s.texts.resize(chains.size());
  for (size_t k = 0; k < chains.size(); ++k) {
    s.texts[k].reserve(chains[k].thoughts.size());
    for (const StoredThought& t : chains[k].thoughts) s.texts[k].push_back(thought_text(t));
  }
  s.chains = std::move(chains);
  return s;
}

bool live_store_record(LiveStore& s, const std::string& session_id, StoredThought thought, int64_t now,
                       size_t max_bytes) {
  std::optional<size_t> found;
  for (size_t k = 0; k < s.chains.size() && !found; ++k) {
    if (s.chains[k].id == session_id) found = k;
  }
  std::string text = thought_text(thought);

  Chain alone;
  alone.id = session_id;
  alone.started_at = found ? s.chains[*found].started_at : now;
  alone.updated_at = now;
  chain_add(alone, thought);
  Buf probe;
  chain_text(probe, alone);
  if (probe.length + STORE_OPEN.size() + STORE_CLOSE.size() > max_bytes) return false;

  size_t k = found ? *found : s.chains.size();
  if (!found) {
    Chain fresh;
    fresh.id = session_id;
    fresh.started_at = now;
    s.chains.push_back(std::move(fresh));
    s.texts.emplace_back();
  }
  chain_add(s.chains[k], std::move(thought));
  s.texts[k].push_back(std::move(text));
  s.chains[k].updated_at = now;
  trim_front(s, k, MAX_THOUGHTS_EACH);

  std::optional<size_t> receiving = k;
  if (s.chains.size() > static_cast<size_t>(MAX_CHAINS)) {
    // A chain created just now is protected from nothing here: when every
    // other chain carries a later time, it is the one that goes.
    std::vector<bool> marked = choose_evictions(update_times(s), MAX_CHAINS, found);
    receiving = evict(s, marked, receiving);
  }
  fit_size(s, receiving, max_bytes);
  return true;
}

void live_store_text(Buf& out, const LiveStore& s) {
  buf_add(out, STORE_OPEN);
  for (size_t k = 0; k < s.chains.size(); ++k) {
    if (k) buf_add(out, ",", 1);
    chain_head_text(out, s.chains[k]);
    for (size_t i = 0; i < s.texts[k].size(); ++i) {
      if (i) buf_add(out, ",", 1);
      buf_add(out, s.texts[k][i]);
    }
    chain_tail_text(out, s.chains[k]);
  }
  buf_add(out, STORE_CLOSE);
}
