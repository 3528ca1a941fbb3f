#include "store/store_scan.h"

#include <vector>

namespace {

// The containers whose content the pass reads; everything else is passed
// over by depth alone.
enum class Role { root, chains, chain, thoughts, thought, branches };

// What the next value is to the pass.
enum class Slot {
  skip,
  root,
  chain_array,  // the root's first "chains" member
  chain,        // an element of the chain array
  id,
  started_at,
  updated_at,
  thoughts,
  branches,
  thought,       // an element of "thoughts"
  thought_text,  // a thought's first "thought" member
  revision,      // a thought's first "is_revision" member
  branch,        // an element of "branches"
};

// The chain object being read.
struct ChainState {
  uint64_t offset = 0;
  bool seen_id = false, seen_started = false, seen_updated = false, seen_thoughts = false,
       seen_branches = false;
  std::string id;
  bool id_matches = false;
  int64_t started_at = 0;
  ChainTotals totals;
  std::vector<std::string> branch_texts;
  std::string last_head;  // of the newest thought seen so far
};

// The thought object being read.
struct ThoughtState {
  bool seen_text = false, seen_revision = false;
  bool has_text = false;
  std::string head;
  bool revision = false;
};

class StoreScan final : public JsonEvents {
 public:
  StoreScan(const ScanWants& wants, ScanResult& out) : wants_(wants), out_(out) {}

  bool key(std::string_view name) override {
    if (ignored_ > 0) return true;
    pending_ = Slot::skip;
    switch (roles_.back()) {
      case Role::root:
        if (name == "chains") pending_ = first(seen_chains_, Slot::chain_array);
        break;
      case Role::chain:
        if (name == "id")
          pending_ = first(chain_.seen_id, Slot::id);
        else if (name == "started_at")
          pending_ = first(chain_.seen_started, Slot::started_at);
        else if (name == "updated_at")
          pending_ = first(chain_.seen_updated, Slot::updated_at);
        else if (name == "thoughts")
          pending_ = first(chain_.seen_thoughts, Slot::thoughts);
        else if (name == "branches")
          pending_ = first(chain_.seen_branches, Slot::branches);
        break;
      case Role::thought:
        if (name == "thought")
          pending_ = first(thought_.seen_text, Slot::thought_text);
        else if (name == "is_revision")
          pending_ = first(thought_.seen_revision, Slot::revision);
        break;
      default:
        break;
    }
    return true;
  }

  bool scalar(const JsonScalar& v) override {
    if (ignored_ > 0) return true;
    switch (take_slot()) {
      case Slot::chain:
        ++out_.count;
        break;
      case Slot::id:
        if (v.type == JsonType::string) {
          if (wants_.records) chain_.id = v.string;
          chain_.id_matches = wants_.target && v.string == *wants_.target;
        }
        break;
      case Slot::started_at:
        if (v.type == JsonType::integer) chain_.started_at = v.integer;
        break;
      case Slot::updated_at:
        if (v.type == JsonType::integer) {
          chain_.totals.updated_at = v.integer;
          chain_.totals.has_updated_at = true;
        }
        break;
      case Slot::thought:
        new_thought();
        break;
      case Slot::thought_text:
        if (v.type == JsonType::string) {
          thought_.has_text = true;
          if (wants_.records) thought_.head = thought_head(v.string);
        }
        break;
      case Slot::revision:
        thought_.revision = v.type == JsonType::boolean && v.boolean;
        break;
      case Slot::branch:
        add_branch(v.type == JsonType::string ? v.string : std::string_view());
        break;
      default:
        break;
    }
    return true;
  }

  bool open(bool object, uint64_t offset) override {
    if (ignored_ > 0) {
      ++ignored_;
      return true;
    }
    Slot slot = take_slot();
    if (slot == Slot::chain) ++out_.count;
    if (slot == Slot::thought) new_thought();
    if (slot == Slot::branch) add_branch({});
    std::optional<Role> role;
    if (object) {
      if (slot == Slot::root) role = Role::root;
      if (slot == Slot::chain) {
        role = Role::chain;
        chain_ = ChainState();
        chain_.offset = offset;
      }
      if (slot == Slot::thought) {
        role = Role::thought;
        thought_ = ThoughtState();
      }
    } else {
      if (slot == Slot::chain_array) role = Role::chains;
      if (slot == Slot::thoughts) role = Role::thoughts;
      if (slot == Slot::branches) role = Role::branches;
    }
    if (role) {
      roles_.push_back(*role);
    } else {
      ignored_ = 1;
    }
    return true;
  }

  bool close(bool, uint64_t offset) override {
    if (ignored_ > 0) {
      --ignored_;
      return true;
    }
    Role role = roles_.back();
    roles_.pop_back();
    if (role == Role::thought) {
      if (thought_.revision) ++chain_.totals.revisions;
      if (thought_.has_text) chain_.last_head = thought_.head;
    }
    if (role == Role::chain) end_chain(offset);
    return true;
  }

 private:
  // The first member with a key decides; later ones are passed over.
  static Slot first(bool& seen, Slot slot) {
    if (seen) return Slot::skip;
    seen = true;
    return slot;
  }

  // What the value about to be read is: an element of the array at hand, the
  // member named by the last key, or the root.
  Slot take_slot() {
    if (roles_.empty()) return started_ ? Slot::skip : (started_ = true, Slot::root);
    switch (roles_.back()) {
      case Role::chains:
        return Slot::chain;
      case Role::thoughts:
        return Slot::thought;
      case Role::branches:
        return Slot::branch;
      default: {
        Slot slot = pending_;
        pending_ = Slot::skip;
        return slot;
      }
    }
  }

  void new_thought() {
    ++chain_.totals.thoughts;
    chain_.last_head.clear();  // unless this element turns out to be a thought with a text
  }

  void add_branch(std::string_view text) {
    ++chain_.totals.branches;
    if (wants_.records) chain_.branch_texts.emplace_back(text);
  }

  void end_chain(uint64_t offset) {
    add_chain_totals(out_.totals, chain_.totals);
    if (chain_.id_matches && !out_.target)
      out_.target = std::make_pair(chain_.offset, offset + 1 - chain_.offset);
    if (!wants_.records) return;
    std::vector<std::string_view> branches(chain_.branch_texts.begin(), chain_.branch_texts.end());
    Buf record;
    list_record_text(record, chain_.id, chain_.started_at,
                     chain_.totals.has_updated_at ? chain_.totals.updated_at : 0, chain_.totals.thoughts,
                     branches, chain_.last_head);
    if (!out_.records.empty()) out_.records += ',';
    out_.records += record.view();
  }

  const ScanWants& wants_;
  ScanResult& out_;
  std::vector<Role> roles_;
  size_t ignored_ = 0;  // depth inside a container nothing is read from
  Slot pending_ = Slot::skip;
  bool started_ = false;
  bool seen_chains_ = false;
  ChainState chain_;
  ThoughtState thought_;
};

}  // namespace

bool scan_store(JsonInput& input, const ScanWants& wants, ScanResult& out) {
  StoreScan scan(wants, out);
  bool ok = json_stream(input, scan, JsonNul::ends_text);
  out.totals.chains = out.count;
  return ok;
}
