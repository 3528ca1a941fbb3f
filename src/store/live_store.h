// The store held in memory between recordings: the chains and, beside each
// thought, its text in the file, so that a recording writes the file anew
// without escaping every unchanged thought again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/buf.h"
#include "store/chain.h"

struct LiveStore {
  std::vector<Chain> chains;
  // texts[k][i] is the text of chains[k].thoughts[i] (stored_thought_text).
  std::vector<std::vector<std::string>> texts;
};

// A live store over these chains, with their texts.
LiveStore live_store_from(std::vector<Chain> chains);

// Records one thought of the session at time `now`, keeping the store
// within its caps:
//   - the chain whose id equals session_id receives it (a new chain at the
//     end when there is none) and its updated_at becomes now;
//   - the receiving chain keeps its newest MAX_THOUGHTS_EACH thoughts;
//   - beyond MAX_CHAINS chains, the least recently updated ones are evicted
//     (ties: nearest the front); a chain that already held the session's
//     thoughts is never among them, a new chain is an ordinary candidate;
//   - while the text would be longer than max_bytes, further least recently
//     updated chains are evicted, never the receiving one, and then the
//     receiving chain's oldest thoughts are dropped.
// False, with the store unchanged, when the receiving chain holding only
// this thought would already be longer than max_bytes: such a thought is
// not recorded rather than emptying the store for it.
bool live_store_record(LiveStore& store, const std::string& session_id, StoredThought thought, int64_t now,
                       size_t max_bytes);

// The whole file text of the store; the same bytes as chains_text.
void live_store_text(Buf& out, const LiveStore& store);
