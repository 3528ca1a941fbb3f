#include "store/format_records.h"

#include "common/text.h"
#include "store/format_walk.h"

namespace {

// Ends the text at its first NUL byte, in place.
void cut_at_nul(std::string& s) { s.resize(up_to_nul(s).size()); }

class RecordCollector final : public ChainsVisitor {
 public:
  void thought(WalkThought& w) override {
    if (!w.has_text) return;
    StoredThought t;
    t.text = std::move(w.text);
    cut_at_nul(t.text);
    t.thought_number = w.thought_number.value_or(0);
    t.total_thoughts = w.total_thoughts.value_or(0);
    t.next_needed = w.next_needed;
    t.is_revision = w.is_revision;
    t.needs_more = w.needs_more;
    t.revises = w.revises.value_or(0);
    t.branch_from = w.branch_from.value_or(0);
    if (w.branch_id) {
      t.branch_id = std::move(w.branch_id);
      cut_at_nul(*t.branch_id);
    }
    t.at = w.at.value_or(0);
    chain_add(chain_, std::move(t));
  }

  void chain(WalkChain& w) override {
    // An id that is empty (up to its first NUL) cannot name a session, and
    // it would be written back as the empty id: the slot stays empty, so
    // that reading what was written gives the same store again.
    if (w.id && !up_to_nul(*w.id).empty()) {
      chain_.id = std::move(w.id);
      cut_at_nul(*chain_.id);
      chain_.started_at = w.started_at.value_or(0);
      chain_.updated_at = w.updated_at.value_or(0);
      chains_.push_back(std::move(chain_));
    } else {
      chains_.emplace_back();
    }
    chain_ = Chain();
  }

  std::vector<Chain> take() { return std::move(chains_); }

 private:
  std::vector<Chain> chains_;
  Chain chain_;  // the one at hand, its thoughts so far
};

std::optional<std::vector<Chain>> result(const WalkEnd& end, RecordCollector& records) {
  if (!end.json || !end.chain_array) return std::nullopt;
  return records.take();
}

}  // namespace

std::optional<std::vector<Chain>> read_chains(JsonInput& input) {
  RecordCollector records;
  return result(walk_chains(input, WalkOptions(), records), records);
}

std::optional<std::vector<Chain>> read_chains(std::string_view bytes) {
  RecordCollector records;
  return result(walk_chains(bytes, records), records);
}
