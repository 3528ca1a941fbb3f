#include "store/format_walk.h"

#include <array>
#include <cstring>
#include <span>
#include <utility>

namespace {

// The containers the walk reads from; everything else is passed over.
enum class Role : uint8_t { root, chains, chain, thoughts, thought, branches };

// What the next value is to the walk: the root, a member it knows, an
// element of an array it reads, or nothing it reads.
enum class Slot : uint8_t {
  skip,
  root,
  chains,  // the root's
  id,      // a chain's
  started_at,
  updated_at,
  thoughts,
  branches,
  text,  // a thought's
  thought_number,
  total_thoughts,
  next_needed,
  is_revision,
  revises,
  branch_from,
  branch_id,
  needs_more,
  at,
  chain,    // an element of the chain array
  thought,  // an element of "thoughts"
  branch,   // an element of "branches" (the last slot)
};

struct Member {
  std::string_view key;
  Slot slot;
};

// The members of each object the walk reads, in the order the writer writes
// them.
constexpr Member kRootMembers[] = {{"chains", Slot::chains}};
constexpr Member kChainMembers[] = {{"id", Slot::id},
                                    {"started_at", Slot::started_at},
                                    {"updated_at", Slot::updated_at},
                                    {"thoughts", Slot::thoughts},
                                    {"branches", Slot::branches}};
constexpr Member kThoughtMembers[] = {{"thought", Slot::text},
                                      {"thought_number", Slot::thought_number},
                                      {"total_thoughts", Slot::total_thoughts},
                                      {"next_needed", Slot::next_needed},
                                      {"is_revision", Slot::is_revision},
                                      {"revises", Slot::revises},
                                      {"branch_from", Slot::branch_from},
                                      {"branch_id", Slot::branch_id},
                                      {"needs_more", Slot::needs_more},
                                      {"at", Slot::at}};
constexpr Member kListThoughtMembers[] = {{"thought", Slot::text}, {"is_revision", Slot::is_revision}};

// Bytes n..n+7 (or n..n+3) of s as one number, for comparing in place.
uint64_t word8(std::string_view s, size_t n) {
  uint64_t w;
  std::memcpy(&w, s.data() + n, sizeof w);
  return w;
}
uint32_t word4(std::string_view s, size_t n) {
  uint32_t w;
  std::memcpy(&w, s.data() + n, sizeof w);
  return w;
}

// Whether a key equals a member's key (which is never empty). Most keys of
// a chains file are compared with a member's, so keys of 4 to 16 bytes (as
// the members' are) are compared in two overlapping loads per side rather
// than byte by byte, which made the walk measurably slower.
bool same_key(const Member& m, std::string_view key) {
  std::string_view member = m.key;
  size_t n = member.size();
  if (n != key.size() || member[n - 1] != key[n - 1]) return false;
  if (n >= 8 && n <= 16)
    return word8(member, 0) == word8(key, 0) && word8(member, n - 8) == word8(key, n - 8);
  if (n >= 4 && n < 8) return word4(member, 0) == word4(key, 0) && word4(member, n - 4) == word4(key, n - 4);
  if (n <= 3) return member[0] == key[0] && member[n / 2] == key[n / 2];  // (the last byte is checked)
  return member == key;
}

// The members of one kind of object, indexed by the length of their keys,
// so that a key is compared with the members of its length alone (one in
// most cases); most keys that are no member are told by their last byte.
struct MemberSet {
  static constexpr size_t kLongest = 31;
  std::span<const Member> members;
  static constexpr uint8_t kNone = 0xff;
  std::array<uint8_t, kLongest + 1> first{};  // by length: the first member with it, or kNone
  std::array<uint8_t, 16> next{};             // the next member of the same length, or kNone
  uint32_t last_bytes = 0;                    // bit b set: a member's key ends in a byte b (modulo 32)

  // Whether the key may be a member's, told from its length and last byte.
  bool may_match(std::string_view key) const {
    return !key.empty() && key.size() <= kLongest && first[key.size()] != kNone &&
           (last_bytes >> (static_cast<unsigned char>(key.back()) & 31) & 1);
  }

  // The position of the member with this key, or kNone. Out of line: the
  // comparison is wanted for few keys, and inlined it would burden the
  // call for every key.
  [[gnu::noinline]] size_t find(std::string_view key) const {
    for (size_t at = first[key.size()]; at != kNone; at = next[at]) {
      if (same_key(members[at], key)) return at;
    }
    return kNone;
  }
};

constexpr MemberSet member_set(std::span<const Member> members) {
  MemberSet set;
  // (Members are few, their keys short: the positions fit the tables.)
  set.members = members;
  set.first.fill(MemberSet::kNone);
  set.next.fill(MemberSet::kNone);
  // From the last member back, so that each length's list is in order.
  for (size_t i = members.size(); i-- > 0;) {
    std::string_view key = members[i].key;
    set.next[i] = set.first[key.size()];
    set.first[key.size()] = static_cast<uint8_t>(i);
    set.last_bytes |= 1u << (static_cast<unsigned char>(key.back()) & 31);
  }
  return set;
}

static_assert(std::size(kThoughtMembers) <= 16 && std::size(kChainMembers) <= 16);
constexpr MemberSet kRootSet = member_set(kRootMembers);
constexpr MemberSet kChainSet = member_set(kChainMembers);

// A thought's members as the options ask: all or those of a list, with or
// without the text (which stands first in both).
constexpr MemberSet thought_set(std::span<const Member> members, bool text) {
  return member_set(text ? members : members.subspan(1));
}

// A container being read.
struct Frame {
  Role role = Role::root;
  const MemberSet* set = nullptr;  // an object's members; none for an array
  Slot element = Slot::skip;       // an array's elements; skip for an object
  uint32_t seen = 0;               // the members met so far, by position

  // The slot of the member with this key: only its first occurrence counts.
  // (Only objects take keys, and every object read has members.)
  Slot member(std::string_view key) {
    size_t at = set->may_match(key) ? set->find(key) : MemberSet::kNone;
    if (at == MemberSet::kNone) return Slot::skip;
    uint32_t bit = 1u << at;
    if (seen & bit) return Slot::skip;
    seen |= bit;
    return set->members[at].slot;
  }
};

// The container a value in this slot opens, when the walk reads it.
std::optional<Role> opens(Slot slot, bool object) {
  if (object) {
    if (slot == Slot::root) return Role::root;
    if (slot == Slot::chain) return Role::chain;
    if (slot == Slot::thought) return Role::thought;
  } else {
    if (slot == Slot::chains) return Role::chains;
    if (slot == Slot::thoughts) return Role::thoughts;
    if (slot == Slot::branches) return Role::branches;
  }
  return std::nullopt;
}

class Walker final : public JsonEvents {
 public:
  Walker(ChainsVisitor& visitor, const WalkOptions& options)
      : visitor_(visitor),
        keep_text_(options.keep_text),
        thought_members_(thought_set(options.every_thought_member
                                         ? std::span<const Member>(kThoughtMembers)
                                         : std::span<const Member>(kListThoughtMembers),
                                     options.keep_text > 0)) {}

  bool key(std::string_view name) override {
    if (ignored_ == 0) pending_ = frames_[depth_ - 1].member(name);
    return true;
  }

  bool scalar(const JsonScalar& v) override {
    if (ignored_ > 0) return true;
    Slot slot = take_slot();
    if (slot == Slot::skip) return true;
    if (slot == Slot::chain || slot == Slot::thought || slot == Slot::branch) {
      element(slot, v.type == JsonType::string ? v.string : std::string_view());
    } else if (v.type == JsonType::string) {
      if (slot == Slot::text) {
        thought_.has_text = true;
        thought_.text.assign(v.string.substr(0, keep_text_));
      } else if (std::optional<std::string>* s = string_of(slot)) {
        s->emplace(v.string);
      }
    } else if (v.type == JsonType::integer) {
      if (std::optional<int64_t>* n = integer_of(slot)) *n = v.integer;
    } else if (v.type == JsonType::boolean && v.boolean) {
      if (bool* flag = flag_of(slot)) *flag = true;
    }
    return true;
  }

  bool open(bool object, uint64_t offset) override {
    if (ignored_ > 0) {
      ++ignored_;
      return true;
    }
    Slot slot = take_slot();
    std::optional<Role> role = opens(slot, object);
    if (!role) {
      // Passed over by depth; an element that is no object still counts.
      if (slot == Slot::chain || slot == Slot::thought || slot == Slot::branch) element(slot, {});
      ignored_ = 1;
      return true;
    }
    if (*role == Role::chains) chain_array_ = true;
    if (*role == Role::chain) start_chain(offset);
    if (*role == Role::thought) start_thought();
    Frame& f = frames_[depth_++];
    f = Frame();
    f.role = *role;
    f.set = members_of(*role);
    f.element = element_of(*role);
    return true;
  }

  bool close(bool, uint64_t offset) override {
    if (ignored_ > 0) {
      --ignored_;
      return true;
    }
    Role role = frames_[--depth_].role;
    if (role == Role::thought) end_thought();
    if (role == Role::chain) {
      chain_.length = offset + 1 - chain_.offset;
      end_chain();
    }
    return true;
  }

  bool chain_array() const { return chain_array_; }

 private:
  // What the value about to be read is: the root, an element of the array at
  // hand, or the member named by the last key.
  Slot take_slot() {
    if (depth_ == 0) return Slot::root;
    const Frame& f = frames_[depth_ - 1];
    if (f.element != Slot::skip) return f.element;
    Slot slot = pending_;
    pending_ = Slot::skip;
    return slot;
  }

  // An element that is no object (a branch: any element).
  void element(Slot slot, std::string_view string) {
    if (slot == Slot::branch) {
      chain_.branches.emplace_back(string);
    } else if (slot == Slot::thought) {
      start_thought();
      thought_.object = false;
      end_thought();
    } else {
      start_chain(0);
      chain_.object = false;
      end_chain();
    }
  }

  void start_chain(uint64_t offset) {
    chain_ = WalkChain();
    chain_.index = chains_;
    chain_.object = true;
    chain_.offset = offset;
  }
  void end_chain() {
    ++chains_;
    visitor_.chain(chain_);
  }

  // Every member of WalkThought afresh, the text's storage kept.
  void start_thought() {
    WalkThought& t = thought_;
    t.index = chain_.thoughts;
    t.object = true;
    t.has_text = false;
    t.text.clear();
    t.thought_number = t.total_thoughts = t.revises = t.branch_from = t.at = std::nullopt;
    t.next_needed = t.is_revision = t.needs_more = false;
    t.branch_id.reset();
  }
  void end_thought() {
    ++chain_.thoughts;
    visitor_.thought(thought_);
  }

  static Slot element_of(Role role) {
    if (role == Role::chains) return Slot::chain;
    if (role == Role::thoughts) return Slot::thought;
    if (role == Role::branches) return Slot::branch;
    return Slot::skip;
  }

  const MemberSet* members_of(Role role) const {
    if (role == Role::root) return &kRootSet;
    if (role == Role::chain) return &kChainSet;
    if (role == Role::thought) return &thought_members_;
    return nullptr;
  }

  std::optional<std::string>* string_of(Slot slot) {
    if (slot == Slot::id) return &chain_.id;
    if (slot == Slot::branch_id) return &thought_.branch_id;
    return nullptr;
  }
  std::optional<int64_t>* integer_of(Slot slot) {
    if (slot == Slot::started_at) return &chain_.started_at;
    if (slot == Slot::updated_at) return &chain_.updated_at;
    // (A switch rather than a table of member pointers: GCC 12 built such a
    // table with the wrong null, which sent an integer met in any other
    // slot of a thought into its first member.)
    switch (slot) {
      case Slot::thought_number:
        return &thought_.thought_number;
      case Slot::total_thoughts:
        return &thought_.total_thoughts;
      case Slot::revises:
        return &thought_.revises;
      case Slot::branch_from:
        return &thought_.branch_from;
      case Slot::at:
        return &thought_.at;
      default:
        return nullptr;
    }
  }
  bool* flag_of(Slot slot) {
    if (slot == Slot::next_needed) return &thought_.next_needed;
    if (slot == Slot::is_revision) return &thought_.is_revision;
    if (slot == Slot::needs_more) return &thought_.needs_more;
    return nullptr;
  }

  ChainsVisitor& visitor_;
  const size_t keep_text_;
  const MemberSet thought_members_;
  // Root, chain array, chain, thoughts or branches, thought: never deeper.
  std::array<Frame, 5> frames_;
  size_t depth_ = 0;
  size_t ignored_ = 0;  // depth inside a container nothing is read from
  Slot pending_ = Slot::skip;
  bool chain_array_ = false;
  size_t chains_ = 0;  // elements of the chain array so far
  WalkChain chain_;
  WalkThought thought_;
};

}  // namespace

WalkEnd walk_chains(JsonInput& input, const WalkOptions& options, ChainsVisitor& visitor) {
  Walker walker(visitor, options);
  WalkEnd end;
  end.json = json_stream(input, walker, options.nul);
  end.chain_array = walker.chain_array();
  return end;
}

WalkEnd walk_chains(std::string_view text, ChainsVisitor& visitor) {
  Walker walker(visitor, WalkOptions());
  WalkEnd end;
  end.json = json_stream(text, walker);
  end.chain_array = walker.chain_array();
  return end;
}
