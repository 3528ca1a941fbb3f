#include "store/chains_text.h"

#include <string>
#include <unordered_set>

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
  json_escape_buf(out, chain.id ? chain.id->c_str() : "");
  buf_addf(out, ",\"started_at\":%lld,\"updated_at\":%lld,\"thoughts\":[",
           static_cast<long long>(chain.started_at), static_cast<long long>(chain.updated_at));
}

void stored_thought_text(Buf& out, const StoredThought& t) {
  buf_add(out, "{\"thought\":");
  json_escape_buf(out, t.text.c_str());
  buf_addf(out, ",\"thought_number\":%lld,\"total_thoughts\":%lld,\"next_needed\":%s",
           static_cast<long long>(t.thought_number), static_cast<long long>(t.total_thoughts),
           t.next_needed ? "true" : "false");
  if (t.is_revision) buf_add(out, ",\"is_revision\":true");
  if (t.revises != 0) buf_addf(out, ",\"revises\":%lld", static_cast<long long>(t.revises));
  if (t.branch_from != 0) buf_addf(out, ",\"branch_from\":%lld", static_cast<long long>(t.branch_from));
  if (t.branch_id) {
    buf_add(out, ",\"branch_id\":");
    json_escape_buf(out, t.branch_id->c_str());
  }
  if (t.needs_more) buf_add(out, ",\"needs_more\":true");
  buf_addf(out, ",\"at\":%lld}", static_cast<long long>(t.at));
}

void chain_tail_text(Buf& out, const Chain& chain) {
  buf_addf(out, "],\"count\":%zu,\"branches\":[", chain.thoughts.size());
  bool first = true;
  for (std::string_view id : chain_branches(chain)) {
    if (!first) buf_add(out, ",");
    first = false;
    // The ids come from std::string values, so they end in a NUL.
    json_escape_buf(out, id.data());
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
