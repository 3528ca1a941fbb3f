// What the web's read actions tell of each chain: its list record (the
// "chains" action) and its share of the totals (the "stats" action). The
// recorder computes them from the chains it holds and scan_chains from any
// file; for a file the recorder wrote, both give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/buf.h"
#include "common/json_stream.h"

inline constexpr size_t THOUGHT_HEAD_MAX = 160;

// The head of a thought's text: its bytes before the first LF, at most
// THOUGHT_HEAD_MAX of them and never a character cut in two (utf8_prefix).
// A piece of the text that holds more than THOUGHT_HEAD_MAX bytes of it
// gives the same head.
std::string_view thought_head(std::string_view text);

// One chain's list record:
// {"id":...,"started_at":N,"updated_at":N,"thoughts":N,"branches":[...],
//  "last_head":...,"truncated":B,"first_head":...}, where last_head and
// first_head are the heads of the newest and the oldest thought and
// truncated means at least MAX_THOUGHTS_EACH thoughts. first_head stands
// last so that every member before it keeps the place it had before there
// was one. Every string ends at its first NUL byte, as every text of the
// answers does.
void list_record_text(Buf& out, std::string_view id, int64_t started_at, int64_t updated_at, size_t thoughts,
                      const std::vector<std::string_view>& branches, std::string_view last_head,
                      std::string_view first_head);

// What a list record tells of its chain's identity and times.
struct RecordHead {
  std::string id;
  int64_t started_at = 0;
  int64_t updated_at = 0;
};

// Reads the head of a list record as list_record_text writes it. Nothing
// when the text is not such a record.
std::optional<RecordHead> list_record_head(std::string_view record);

// The totals of the "stats" action.
struct StoreTotals {
  size_t chains = 0;          // elements of the chain array, objects or not
  size_t thoughts = 0;        // elements of the chains' "thoughts" arrays
  size_t branches = 0;        // elements of the chains' "branches" arrays
  size_t revisions = 0;       // thoughts whose "is_revision" is true
  int64_t last_activity = 0;  // the largest "updated_at", never below 0
  bool operator==(const StoreTotals&) const = default;
};

// One chain object's share of the totals (its "chains" share is 1).
struct ChainTotals {
  size_t thoughts = 0;
  size_t branches = 0;
  size_t revisions = 0;
  int64_t updated_at = 0;  // counts only when the chain has an integer "updated_at"
  bool has_updated_at = false;
  bool operator==(const ChainTotals&) const = default;
};

// Adds one chain object's share.
void add_chain_totals(StoreTotals& totals, const ChainTotals& chain);

// What one walk over a chains file gathers for the web's read actions.
// Records are built only when asked for, and only the target chain's range
// is looked for.
struct ScanWants {
  bool records = false;
  std::optional<std::string_view> target;  // a chain id
};

struct ScanResult {
  size_t count = 0;     // elements of the chain array, objects or not
  std::string records;  // the chain objects' list records, joined by commas
  StoreTotals totals;
  // The bytes of the first chain object whose "id" is the target: offset
  // and length in the text.
  std::optional<std::pair<uint64_t, uint64_t>> target;
};

// Walks the text (up to its first NUL byte) once, as the web's read actions
// read any JSON text (store/format_walk.h). False when it is not JSON text;
// out is then incomplete.
bool scan_chains(JsonInput& input, const ScanWants& wants, ScanResult& out);
