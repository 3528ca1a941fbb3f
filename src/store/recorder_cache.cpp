#include "store/recorder_cache.h"

#include <optional>

#include "common/file.h"
#include "store/eviction.h"
#include "store/format_records.h"
#include "store/format_write.h"
#include "store/limits.h"
#include "store/summary.h"

namespace {

constexpr std::string_view kComma = ",";

// The chain's list record and totals, from its records.
void refresh_summary(LiveChain& c) {
  const Chain& chain = c.chain;
  std::vector<std::string_view> branches = chain_branches(chain);
  Buf record;
  std::string_view last_head, first_head;
  if (!chain.thoughts.empty()) {
    last_head = thought_head(chain.thoughts.back().text);
    first_head = thought_head(chain.thoughts.front().text);
  }
  list_record_text(record, chain.id ? *chain.id : std::string_view(), chain.started_at, chain.updated_at,
                   chain.thoughts.size(), branches, last_head, first_head);
  c.record.assign(record.view());
  c.totals = ChainTotals();
  c.totals.thoughts = chain.thoughts.size();
  c.totals.branches = branches.size();
  for (const StoredThought& t : chain.thoughts) c.totals.revisions += t.is_revision ? 1 : 0;
  c.totals.updated_at = chain.updated_at;
  c.totals.has_updated_at = true;
}

// Rebuilds the chain's text after its thoughts changed: the first `dropped`
// thoughts of the old text are gone and, when `added` is given, it is the
// text of the new last thought. The kept thoughts' texts are copied as they
// are; the head and the tail (times, count, branches) are written afresh,
// and so are the record and the totals.
void rebuild(LiveChain& c, size_t dropped, const std::string* added) {
  size_t kept_from = dropped < c.thought_at.size() ? c.thought_at[dropped] : c.thoughts_end;
  std::string_view kept = std::string_view(c.text).substr(kept_from, c.thoughts_end - kept_from);

  Buf text;
  chain_head_text(text, c.chain);
  size_t shift = text.length;
  buf_add(text, kept);
  std::vector<size_t> at;
  at.reserve(c.chain.thoughts.size());
  for (size_t i = dropped; i < c.thought_at.size(); ++i) at.push_back(c.thought_at[i] - kept_from + shift);
  if (added) {
    if (!kept.empty()) buf_add(text, kComma);
    at.push_back(text.length);
    buf_add(text, *added);
  }
  c.thoughts_end = text.length;
  chain_tail_text(text, c.chain);
  c.text.assign(text.view());
  c.thought_at = std::move(at);
  refresh_summary(c);
}

LiveChain live_chain_from(Chain chain) {
  LiveChain c;
  c.chain = std::move(chain);
  Buf text;
  chain_head_text(text, c.chain);
  c.thought_at.reserve(c.chain.thoughts.size());
  for (size_t i = 0; i < c.chain.thoughts.size(); ++i) {
    if (i) buf_add(text, kComma);
    c.thought_at.push_back(text.length);
    stored_thought_text(text, c.chain.thoughts[i]);
  }
  c.thoughts_end = text.length;
  chain_tail_text(text, c.chain);
  c.text.assign(text.view());
  refresh_summary(c);
  return c;
}

size_t store_length(const LiveStore& s) {
  size_t n = STORE_OPEN.size() + STORE_CLOSE.size();
  for (const LiveChain& c : s.chains) n += c.text.size();
  if (!s.chains.empty()) n += s.chains.size() - 1;
  return n;
}

void trim_front(LiveChain& c, size_t keep) {
  size_t n = c.chain.thoughts.size();
  if (n <= keep) return;
  chain_trim(c.chain, keep);
  rebuild(c, n - keep, nullptr);
}

std::vector<int64_t> update_times(const LiveStore& s) {
  std::vector<int64_t> times;
  times.reserve(s.chains.size());
  for (const LiveChain& c : s.chains) times.push_back(c.chain.updated_at);
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
  return moved;
}

// Evicts least recently updated chains other than the receiving one, then
// drops the receiving chain's oldest thoughts, until the text fits.
void fit_size(LiveStore& s, std::optional<size_t> receiving, size_t max_bytes) {
  size_t total = store_length(s);
  if (total <= max_bytes) return;

  std::vector<int64_t> times = update_times(s);
  std::vector<bool> marked(s.chains.size(), false);
  while (total > max_bytes) {
    std::optional<size_t> victim = least_recent(times, marked, receiving);
    if (!victim) break;
    marked[*victim] = true;
    total -= s.chains[*victim].text.size() + 1;  // its text and one comma
  }
  receiving = evict(s, marked, receiving);
  if (total <= max_bytes || !receiving) return;

  // Only the receiving chain is left. Dropping a thought shortens the text
  // by about its own length; the derived members can grow a little (an id
  // no longer shadowed by an earlier thought joins "branches"), so the exact
  // length is measured again after each estimate.
  LiveChain& c = s.chains[*receiving];
  // The newest thought is never dropped: on its own it fits, which the
  // caller has checked.
  for (;;) {
    size_t len = store_length(s);
    size_t n = c.chain.thoughts.size();
    if (len <= max_bytes || n <= 1) return;
    size_t excess = len - max_bytes, drop = 0, saved = 0;
    while (drop < n - 1 && saved < excess) saved += live_thought_text(c, drop++).size() + 1;
    trim_front(c, n - drop);
  }
}

}  // namespace

LiveStore live_store_from(std::vector<Chain> chains) {
  LiveStore s;
  s.chains.reserve(chains.size());
  for (Chain& c : chains) s.chains.push_back(live_chain_from(std::move(c)));
  return s;
}

std::optional<LiveStore> live_store_from_summary(FileReader& file, const StoreSummary& summary) {
  constexpr std::string_view kStart = "{\"id\":";
  LiveStore s;
  s.chains.reserve(summary.chains.size());
  for (const SummaryChain& entry : summary.chains) {
    LiveChain c;
    std::optional<RecordHead> head = list_record_head(entry.record);
    if (!head || !file.read_range(entry.offset, entry.length, c.text)) return std::nullopt;
    if (c.text.compare(0, kStart.size(), kStart) != 0 || c.text.back() != '}') return std::nullopt;
    // A chain written without an id has the empty one.
    if (!head->id.empty()) c.chain.id = std::move(head->id);
    c.chain.started_at = head->started_at;
    c.chain.updated_at = head->updated_at;
    c.record = entry.record;
    c.totals = entry.totals;
    c.opened = false;
    s.chains.push_back(std::move(c));
  }
  return s;
}

bool live_store_open(LiveStore& s, const std::string& session_id) {
  for (LiveChain& c : s.chains) {
    if (c.chain.id != session_id) continue;
    if (c.opened) return true;
    std::optional<std::vector<Chain>> chains =
        read_chains(std::string(STORE_OPEN) + c.text + std::string(STORE_CLOSE));
    if (!chains || chains->size() != 1 || (*chains)[0].id != session_id) return false;
    c = live_chain_from(std::move((*chains)[0]));
    return true;
  }
  return true;
}

std::string_view live_thought_text(const LiveChain& c, size_t i) {
  size_t end = i + 1 < c.thought_at.size() ? c.thought_at[i + 1] - 1 : c.thoughts_end;
  return std::string_view(c.text).substr(c.thought_at[i], end - c.thought_at[i]);
}

bool live_store_record(LiveStore& s, const std::string& session_id, StoredThought thought, int64_t now,
                       size_t max_bytes) {
  if (!live_store_open(s, session_id)) return false;
  std::optional<size_t> found;
  for (size_t k = 0; k < s.chains.size() && !found; ++k) {
    if (s.chains[k].chain.id == session_id) found = k;
  }
  Buf thought_buf;
  stored_thought_text(thought_buf, thought);
  std::string text(thought_buf.view());

  Chain alone;
  alone.id = session_id;
  alone.started_at = found ? s.chains[*found].chain.started_at : now;
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
    s.chains.push_back(live_chain_from(std::move(fresh)));
  }
  LiveChain& c = s.chains[k];
  chain_add(c.chain, std::move(thought));
  c.chain.updated_at = now;
  // The new thought and the trim to the cap make one new text.
  size_t n = c.chain.thoughts.size();
  size_t dropped = n > static_cast<size_t>(MAX_THOUGHTS_EACH) ? n - MAX_THOUGHTS_EACH : 0;
  chain_trim(c.chain, MAX_THOUGHTS_EACH);
  rebuild(c, dropped, &text);

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

std::vector<std::string_view> live_store_pieces(const LiveStore& s) {
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * s.chains.size() + 2);
  pieces.push_back(STORE_OPEN);
  for (size_t k = 0; k < s.chains.size(); ++k) {
    if (k) pieces.push_back(kComma);
    pieces.push_back(s.chains[k].text);
  }
  pieces.push_back(STORE_CLOSE);
  return pieces;
}

void TEST_live_store_text(Buf& out, const LiveStore& s) {
  for (std::string_view piece : live_store_pieces(s)) buf_add(out, piece);
}
