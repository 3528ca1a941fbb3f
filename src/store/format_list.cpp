#include "store/format_list.h"

#include "common/text.h"
#include "store/format_walk.h"
#include "store/limits.h"

std::string_view thought_head(std::string_view text) {
  return utf8_prefix(text.substr(0, text.find('\n')), THOUGHT_HEAD_MAX);
}

void list_record_text(Buf& out, std::string_view id, int64_t started_at, int64_t updated_at, size_t thoughts,
                      const std::vector<std::string_view>& branches, std::string_view last_head,
                      std::string_view first_head) {
  buf_str(out, "{\"id\":");
  json_escape_buf(out, id);
  buf_addf(out, ",\"started_at\":%lld,\"updated_at\":%lld,\"thoughts\":%zu,\"branches\":[",
           static_cast<long long>(started_at), static_cast<long long>(updated_at), thoughts);
  for (size_t i = 0; i < branches.size(); ++i) {
    if (i > 0) buf_str(out, ",");
    json_escape_buf(out, branches[i]);
  }
  buf_str(out, "],\"last_head\":");
  json_escape_buf(out, last_head);
  buf_addf(out, ",\"truncated\":%s,\"first_head\":",
           thoughts >= static_cast<size_t>(MAX_THOUGHTS_EACH) ? "true" : "false");
  json_escape_buf(out, first_head);
  buf_str(out, "}");
}

void add_chain_totals(StoreTotals& totals, const ChainTotals& chain) {
  totals.thoughts += chain.thoughts;
  totals.branches += chain.branches;
  totals.revisions += chain.revisions;
  if (chain.has_updated_at && chain.updated_at > totals.last_activity)
    totals.last_activity = chain.updated_at;
}

namespace {

// The record's first three members, which list_record_text writes first.
class HeadReader final : public JsonEvents {
 public:
  explicit HeadReader(RecordHead& out) : out_(out) {}
  bool key(std::string_view name) override {
    static constexpr std::string_view kOrder[] = {"id", "started_at", "updated_at"};
    if (depth_ == 1 && members_ < 3 && name != kOrder[members_]) return false;
    return true;
  }
  bool scalar(const JsonScalar& v) override {
    if (depth_ != 1 || members_ >= 3) return true;
    bool ok = members_ == 0 ? v.type == JsonType::string : v.type == JsonType::integer;
    if (members_ == 0) out_.id = v.string;
    if (members_ == 1) out_.started_at = v.integer;
    if (members_ == 2) out_.updated_at = v.integer;
    ++members_;
    return ok;
  }
  bool open(bool object, uint64_t) override { return ++depth_ > 1 || object; }
  bool close(bool, uint64_t) override {
    --depth_;
    return true;
  }
  bool complete() const { return members_ == 3; }

 private:
  RecordHead& out_;
  int depth_ = 0;
  int members_ = 0;
};

}  // namespace

std::optional<RecordHead> list_record_head(std::string_view record) {
  RecordHead head;
  HeadReader reader(head);
  if (!json_stream(record, reader) || !reader.complete()) return std::nullopt;
  return head;
}

namespace {

class ListCollector final : public ChainsVisitor {
 public:
  ListCollector(const ScanWants& wants, ScanResult& out) : wants_(wants), out_(out) {}

  void thought(WalkThought& t) override {
    if (t.is_revision) ++revisions_;
    // The first element and the newest decide, whether or not they are
    // thoughts with a text; the newest one's head is taken once the chain
    // ends.
    if (!wants_.records) return;
    if (t.index == 0) first_head_.assign(t.has_text ? thought_head(t.text) : std::string_view());
    if (t.has_text) {
      std::swap(last_text_, t.text);  // no copy: the walk keeps the other buffer
    } else {
      last_text_.clear();
    }
  }

  void chain(WalkChain& c) override {
    ++out_.count;
    ChainTotals totals;
    totals.thoughts = c.thoughts;
    totals.branches = c.branches.size();
    totals.revisions = revisions_;
    totals.updated_at = c.updated_at.value_or(0);
    totals.has_updated_at = c.updated_at.has_value();
    revisions_ = 0;
    if (!c.object) return;  // (an element that is no object has no thoughts)
    add_chain_totals(out_.totals, totals);
    if (wants_.target && c.id == *wants_.target && !out_.target)
      out_.target = std::make_pair(c.offset, c.length);
    if (!wants_.records) return;
    std::vector<std::string_view> branches(c.branches.begin(), c.branches.end());
    Buf record;
    list_record_text(record, c.id.value_or(""), c.started_at.value_or(0), totals.updated_at, c.thoughts,
                     branches, thought_head(last_text_), first_head_);
    last_text_.clear();   // the next chain starts without a newest thought
    first_head_.clear();  // and without a first one
    if (!out_.records.empty()) out_.records += ',';
    out_.records += record.view();
  }

 private:
  const ScanWants& wants_;
  ScanResult& out_;
  // Of the chain at hand so far.
  size_t revisions_ = 0;
  std::string last_text_;   // of its newest thought
  std::string first_head_;  // of its first thought
};

}  // namespace

bool scan_chains(JsonInput& input, const ScanWants& wants, ScanResult& out) {
  ListCollector list(wants, out);
  WalkOptions options;
  options.nul = JsonNul::ends_text;
  // The head of a text stands in its first THOUGHT_HEAD_MAX bytes; one more
  // tells a text that goes on from one that ends there.
  options.keep_text = wants.records ? THOUGHT_HEAD_MAX + 1 : 0;
  options.every_thought_member = false;
  bool parsed = walk_chains(input, options, list).json;
  out.totals.chains = out.count;
  return parsed;
}
