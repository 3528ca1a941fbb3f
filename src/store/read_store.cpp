#include "store/read_store.h"

#include "common/text.h"

namespace {

enum class Role { root, chains, chain, thoughts, thought };

enum class Slot {
  skip,
  root,
  chain_array,
  chain,
  id,
  started_at,
  updated_at,
  thoughts,
  thought,
  // Members of a thought, in the order of StoredThought's fields.
  text,
  thought_number,
  total_thoughts,
  next_needed,
  is_revision,
  needs_more,
  revises,
  branch_from,
  branch_id,
  at,
};

// The first member with each key decides; later ones are passed over.
struct Seen {
  uint32_t bits = 0;
  Slot take(Slot slot) {
    uint32_t bit = 1u << static_cast<unsigned>(slot);
    if (bits & bit) return Slot::skip;
    bits |= bit;
    return slot;
  }
};

class StoreReader final : public JsonEvents {
 public:
  bool key(std::string_view name) override {
    if (ignored_ > 0) return true;
    pending_ = Slot::skip;
    switch (roles_.back()) {
      case Role::root:
        if (name == "chains") pending_ = root_seen_.take(Slot::chain_array);
        break;
      case Role::chain:
        if (name == "id")
          pending_ = chain_seen_.take(Slot::id);
        else if (name == "started_at")
          pending_ = chain_seen_.take(Slot::started_at);
        else if (name == "updated_at")
          pending_ = chain_seen_.take(Slot::updated_at);
        else if (name == "thoughts")
          pending_ = chain_seen_.take(Slot::thoughts);
        break;
      case Role::thought:
        pending_ = thought_slot(name);
        break;
      default:
        break;
    }
    return true;
  }

  bool scalar(const JsonScalar& v) override {
    if (ignored_ > 0) return true;
    Slot slot = take_slot();
    bool integer = v.type == JsonType::integer;
    int64_t n = integer ? v.integer : 0;
    bool yes = v.type == JsonType::boolean && v.boolean;
    switch (slot) {
      case Slot::chain:
        chains_.emplace_back();
        break;
      case Slot::id:
        if (v.type == JsonType::string) id_ = std::string(up_to_nul(v.string));
        id_is_string_ = v.type == JsonType::string;
        break;
      case Slot::started_at:
        chain_.started_at = n;
        break;
      case Slot::updated_at:
        chain_.updated_at = n;
        break;
      case Slot::text:
        if (v.type == JsonType::string) {
          thought_.text = std::string(up_to_nul(v.string));
          has_text_ = true;
        }
        break;
      case Slot::thought_number:
        thought_.thought_number = n;
        break;
      case Slot::total_thoughts:
        thought_.total_thoughts = n;
        break;
      case Slot::next_needed:
        thought_.next_needed = yes;
        break;
      case Slot::is_revision:
        thought_.is_revision = yes;
        break;
      case Slot::needs_more:
        thought_.needs_more = yes;
        break;
      case Slot::revises:
        thought_.revises = n;
        break;
      case Slot::branch_from:
        thought_.branch_from = n;
        break;
      case Slot::branch_id:
        if (v.type == JsonType::string) thought_.branch_id = std::string(up_to_nul(v.string));
        break;
      case Slot::at:
        thought_.at = n;
        break;
      default:
        break;
    }
    return true;
  }

  bool open(bool object, uint64_t) override {
    if (ignored_ > 0) {
      ++ignored_;
      return true;
    }
    Slot slot = take_slot();
    std::optional<Role> role;
    if (object && slot == Slot::root) role = Role::root;
    if (!object && slot == Slot::chain_array) {
      role = Role::chains;
      is_store_ = true;
    }
    if (slot == Slot::chain) {
      if (object) {
        role = Role::chain;
        chain_ = Chain();
        chain_seen_ = Seen();
        id_.clear();
        id_is_string_ = false;
      } else {
        chains_.emplace_back();
      }
    }
    if (!object && slot == Slot::thoughts) role = Role::thoughts;
    if (object && slot == Slot::thought) {
      role = Role::thought;
      thought_ = StoredThought();
      thought_seen_ = Seen();
      has_text_ = false;
    }
    if (role) {
      roles_.push_back(*role);
    } else {
      ignored_ = 1;
    }
    return true;
  }

  bool close(bool, uint64_t) override {
    if (ignored_ > 0) {
      --ignored_;
      return true;
    }
    Role role = roles_.back();
    roles_.pop_back();
    if (role == Role::thought && has_text_) chain_add(chain_, std::move(thought_));
    if (role == Role::chain) {
      // An id that is empty (up to its first NUL) cannot name a session, and
      // it would be written back as the empty id: the slot stays empty, so
      // that reading what was written gives the same store again.
      if (id_is_string_ && !id_.empty()) {
        chain_.id = std::move(id_);
        chains_.push_back(std::move(chain_));
      } else {
        chains_.emplace_back();
      }
    }
    return true;
  }

  std::optional<std::vector<Chain>> result() {
    if (!is_store_) return std::nullopt;
    return std::move(chains_);
  }

 private:
  Slot thought_slot(std::string_view name) {
    static constexpr std::pair<std::string_view, Slot> kMembers[] = {
        {"thought", Slot::text},
        {"thought_number", Slot::thought_number},
        {"total_thoughts", Slot::total_thoughts},
        {"next_needed", Slot::next_needed},
        {"is_revision", Slot::is_revision},
        {"needs_more", Slot::needs_more},
        {"revises", Slot::revises},
        {"branch_from", Slot::branch_from},
        {"branch_id", Slot::branch_id},
        {"at", Slot::at},
    };
    for (const auto& [key, slot] : kMembers) {
      if (name == key) return thought_seen_.take(slot);
    }
    return Slot::skip;
  }

  Slot take_slot() {
    if (roles_.empty()) return started_ ? Slot::skip : (started_ = true, Slot::root);
    switch (roles_.back()) {
      case Role::chains:
        return Slot::chain;
      case Role::thoughts:
        return Slot::thought;
      default: {
        Slot slot = pending_;
        pending_ = Slot::skip;
        return slot;
      }
    }
  }

  std::vector<Chain> chains_;
  std::vector<Role> roles_;
  size_t ignored_ = 0;
  Slot pending_ = Slot::skip;
  bool started_ = false;
  bool is_store_ = false;
  Seen root_seen_, chain_seen_, thought_seen_;
  Chain chain_;
  std::string id_;
  bool id_is_string_ = false;
  StoredThought thought_;
  bool has_text_ = false;
};

}  // namespace

std::optional<std::vector<Chain>> read_store(JsonInput& input) {
  StoreReader reader;
  if (!json_stream(input, reader, JsonNul::fails)) return std::nullopt;
  return reader.result();
}

std::optional<std::vector<Chain>> read_store(std::string_view bytes) {
  StoreReader reader;
  if (!json_stream(bytes, reader)) return std::nullopt;
  return reader.result();
}
