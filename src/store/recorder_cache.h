// The recorder's cache: the store held in memory between recordings. Beside
// each chain it keeps the chain's text as last written, where each thought's
// text starts in it, and what the summary tells of it, so that a recording
// rebuilds only the chain that received the thought and writes the others'
// texts as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/buf.h"
#include "store/chain.h"
#include "store/format_list.h"

struct LiveChain {
  Chain chain;
  std::string text;                // the chain object (chain_text)
  std::vector<size_t> thought_at;  // where each thought's text starts in `text`
  size_t thoughts_end = 0;         // where the text after the last thought starts
  std::string record;              // its list record
  ChainTotals totals;              // its share of the stats totals
  // False for a chain taken from a file through its summary: only its id and
  // times are known besides its text, record and totals; its thoughts are
  // read when it receives one (live_store_open).
  bool opened = true;
};

struct LiveStore {
  std::vector<LiveChain> chains;
};

// A live store over these chains, with their texts.
LiveStore live_store_from(std::vector<Chain> chains);

// A live store over a chains file this program wrote, as its summary
// describes it, without reading the file's thoughts: each chain's text is
// read from the file as it stands (its bytes at the summary's offsets), its
// id and times from its record. Nothing when the file does not hold what the
// summary says.
class FileReader;
struct StoreSummary;
std::optional<LiveStore> live_store_from_summary(FileReader& file, const StoreSummary& summary);

// Reads the thoughts of the session's chain, if the store holds it unopened.
// False when its text is not a chain.
bool live_store_open(LiveStore& store, const std::string& session_id);

// The text of thought i of the chain, as written.
std::string_view live_thought_text(const LiveChain& chain, size_t i);

// Records one thought of the session at time `now` (its chain opened, see
// live_store_open), keeping the store within its caps:
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
// this thought would already be longer than max_bytes (such a thought is
// not recorded rather than emptying the store for it), or when the chain
// cannot be opened.
bool live_store_record(LiveStore& store, const std::string& session_id, StoredThought thought, int64_t now,
                       size_t max_bytes);

// The whole file text of the store, in pieces to be written one after
// another (views into the store, valid until it changes). The same bytes as
// chains_text.
std::vector<std::string_view> live_store_pieces(const LiveStore& store);

// ---- Extra functions (for testing) ----

// The whole file text in one buffer.
void TEST_live_store_text(Buf& out, const LiveStore& store);
