#include "web/api_stats.h"

#include "common/buf.h"
#include "store/files.h"
#include "store/limits.h"
#include "store/reader.h"
#include "web/answer.h"

void api_stats(Buf& body, const Request& /*request*/, FILE* err) {
  StoreTotals t;
  if (store_totals(chains_path(), t) != StoreStatus::ok) {
    api_err(body, "state unreadable");
    return;
  }
  buf_addf(body,
           "{\"ok\":true,\"chains\":%zu,\"thoughts\":%zu,\"branches\":%zu,\"revisions\":%zu,"
           "\"last_activity\":%lld,"
           "\"max_chains\":%d,\"max_thoughts_each\":%d,\"max_thought_history\":%lld}",
           t.chains, t.thoughts, t.branches, t.revisions, static_cast<long long>(t.last_activity), MAX_CHAINS,
           MAX_THOUGHTS_EACH, static_cast<long long>(read_max_history(err)));
}
