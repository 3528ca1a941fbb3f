#include "store/format_write.h"

#include <charconv>
#include <string>
#include <unordered_set>

namespace {

// A number in decimal, as "%lld" and "%zu" write it; the writer appends some
// fifty thousand of them for a full store.
template <class Int>
void add_int(Buf& out, Int n) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  buf_add(out, digits, static_cast<size_t>(end - digits));
}

}  // namespace

std::vector<std::string_view> chain_branches(const Chain& chain) {
  std::vector<std::string_view> branches;
  std::unordered_set<std::string_view> seen;
  for (const StoredThought& t : chain.thoughts) {
    if (!t.branch_id) continue;
    // Every earlier id counts for the look-back, listed or not.
    bool first = seen.insert(*t.branch_id).second;
    if (first && t.branch_from != 0) branches.push_back(*t.branch_id);
  }
  return branches;
}

void chain_head_text(Buf& out, const Chain& chain) {
  buf_add(out, "{\"id\":");
  json_escape_buf(out, chain.id ? std::string_view(*chain.id) : std::string_view());
  buf_add(out, ",\"started_at\":");
  add_int(out, chain.started_at);
  buf_add(out, ",\"updated_at\":");
  add_int(out, chain.updated_at);
  buf_add(out, ",\"thoughts\":[");
}

void stored_thought_text(Buf& out, const StoredThought& t) {
  buf_add(out, "{\"thought\":");
  json_escape_buf(out, t.text);
  buf_add(out, ",\"thought_number\":");
  add_int(out, t.thought_number);
  buf_add(out, ",\"total_thoughts\":");
  add_int(out, t.total_thoughts);
  buf_add(out, t.next_needed ? ",\"next_needed\":true" : ",\"next_needed\":false");
  if (t.is_revision) buf_add(out, ",\"is_revision\":true");
  if (t.revises != 0) {
    buf_add(out, ",\"revises\":");
    add_int(out, t.revises);
  }
  if (t.branch_from != 0) {
    buf_add(out, ",\"branch_from\":");
    add_int(out, t.branch_from);
  }
  if (t.branch_id) {
    buf_add(out, ",\"branch_id\":");
    json_escape_buf(out, *t.branch_id);
  }
  if (t.needs_more) buf_add(out, ",\"needs_more\":true");
  buf_add(out, ",\"at\":");
  add_int(out, t.at);
  buf_add(out, "}");
}

void chain_tail_text(Buf& out, const Chain& chain) {
  buf_add(out, "],\"count\":");
  add_int(out, chain.thoughts.size());
  buf_add(out, ",\"branches\":[");
  bool first = true;
  for (std::string_view id : chain_branches(chain)) {
    if (!first) buf_add(out, ",");
    first = false;
    json_escape_buf(out, id);
  }
  buf_add(out, "]}");
}

void chain_text(Buf& out, const Chain& chain) {
  chain_head_text(out, chain);
  for (size_t i = 0; i < chain.thoughts.size(); ++i) {
    if (i) buf_add(out, ",");
    stored_thought_text(out, chain.thoughts[i]);
  }
  chain_tail_text(out, chain);
}

void chains_text(Buf& out, const std::vector<Chain>& chains) {
  buf_add(out, STORE_OPEN);
  for (size_t i = 0; i < chains.size(); ++i) {
    if (i) buf_add(out, ",");
    chain_text(out, chains[i]);
  }
  buf_add(out, STORE_CLOSE);
}
