#include "web/api_stats.h"

#include <cstdint>

#include "common/buf.h"
#include "common/json.h"
#include "store/load_chains.h"
#include "store/state_dir.h"
#include "web/answer.h"

namespace {

struct Totals {
  size_t chains = 0;
  size_t thoughts = 0;
  size_t branches = 0;
  size_t revisions = 0;
  int64_t last_activity = 0;  // never below 0
};

void add_chain(Totals& t, JsonVal chain) {
  JsonVal updated = json_member(chain, "updated_at");
  if (json_is_int(updated) && json_int(updated) > t.last_activity) t.last_activity = json_int(updated);
  JsonVal branches = json_member(chain, "branches");
  if (json_is_array(branches)) t.branches += json_size(branches);
  JsonVal thoughts = json_member(chain, "thoughts");
  if (!json_is_array(thoughts)) return;
  const size_t n = json_size(thoughts);
  t.thoughts += n;
  for (size_t i = 0; i < n; ++i) {
    // Only the JSON value true counts, not 1 or "true".
    if (json_is_true(json_member(json_at(thoughts, i), "is_revision"))) ++t.revisions;
  }
}

}  // namespace

void api_stats(FILE* out) {
  auto doc = load_chains();
  if (!doc) {
    api_err(out, "state unreadable");
    return;
  }
  Totals t;
  JsonVal chains = json_member(doc->root(), "chains");
  if (json_is_array(chains)) {
    t.chains = json_size(chains);
    for (size_t i = 0; i < t.chains; ++i) {
      JsonVal chain = json_at(chains, i);
      if (json_is_object(chain)) add_chain(t, chain);
    }
  }
  Buf body;
  buf_addf(body,
           "{\"ok\":true,\"chains\":%zu,\"thoughts\":%zu,\"branches\":%zu,\"revisions\":%zu,"
           "\"last_activity\":%lld,"
           "\"max_chains\":%d,\"max_thoughts_each\":%d,\"max_thought_history\":%lld}",
           t.chains, t.thoughts, t.branches, t.revisions, static_cast<long long>(t.last_activity), MAX_CHAINS,
           MAX_THOUGHTS_EACH, static_cast<long long>(read_max_history(stderr)));
  api_answer(out, body);
}
