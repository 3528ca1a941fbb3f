#include "store/list_record.h"

#include <cstring>
#include <string>

#include "store/state_dir.h"

namespace {

// A string value of an answer: it ends at its first NUL byte.
void add_text(Buf& b, std::string_view s) {
  const void* nul = std::memchr(s.data(), '\0', s.size());
  if (nul) s = s.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - s.data()));
  json_escape_buf(b, std::string(s).c_str());
}

}  // namespace

std::string_view thought_head(std::string_view text) {
  return text.substr(0, text.find('\n')).substr(0, THOUGHT_HEAD_MAX);
}

void list_record_text(Buf& out, std::string_view id, int64_t started_at, int64_t updated_at, size_t thoughts,
                      const std::vector<std::string_view>& branches, std::string_view last_head) {
  buf_str(out, "{\"id\":");
  add_text(out, id);
  buf_addf(out, ",\"started_at\":%lld,\"updated_at\":%lld,\"thoughts\":%zu,\"branches\":[",
           static_cast<long long>(started_at), static_cast<long long>(updated_at), thoughts);
  for (size_t i = 0; i < branches.size(); ++i) {
    if (i > 0) buf_str(out, ",");
    add_text(out, branches[i]);
  }
  buf_str(out, "],\"last_head\":");
  add_text(out, last_head);
  buf_addf(out, ",\"truncated\":%s}", thoughts >= static_cast<size_t>(MAX_THOUGHTS_EACH) ? "true" : "false");
}

void add_chain_totals(StoreTotals& totals, const ChainTotals& chain) {
  totals.thoughts += chain.thoughts;
  totals.branches += chain.branches;
  totals.revisions += chain.revisions;
  if (chain.has_updated_at && chain.updated_at > totals.last_activity)
    totals.last_activity = chain.updated_at;
}
