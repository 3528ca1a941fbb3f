#include "store/read_store.h"

#include <cstring>

#include "common/json.h"

namespace {

std::string text_of(JsonVal v) {
  std::string_view s = json_str(v);
  const void* nul = std::memchr(s.data(), '\0', s.size());
  if (nul) s = s.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - s.data()));
  return std::string(s);
}

int64_t int_member(JsonVal object, std::string_view key) { return json_int(json_member(object, key)); }

bool flag_member(JsonVal object, std::string_view key) { return json_is_true(json_member(object, key)); }

std::optional<StoredThought> read_thought(JsonVal v) {
  JsonVal text = json_member(v, "thought");
  if (!json_is_string(text)) return std::nullopt;
  StoredThought t;
  t.text = text_of(text);
  t.thought_number = int_member(v, "thought_number");
  t.total_thoughts = int_member(v, "total_thoughts");
  t.next_needed = flag_member(v, "next_needed");
  t.is_revision = flag_member(v, "is_revision");
  t.needs_more = flag_member(v, "needs_more");
  t.revises = int_member(v, "revises");
  t.branch_from = int_member(v, "branch_from");
  JsonVal branch = json_member(v, "branch_id");
  if (json_is_string(branch)) t.branch_id = text_of(branch);
  t.at = int_member(v, "at");
  return t;
}

Chain read_chain(JsonVal v) {
  Chain chain;
  JsonVal id = json_member(v, "id");
  if (!json_is_string(id)) return chain;
  std::string id_text = text_of(id);
  // An id that is empty (up to its first NUL) cannot name a session, and
  // it would be written back as the empty id: the slot stays empty, so that
  // reading what was written gives the same store again.
  if (id_text.empty()) return chain;
  chain.id = std::move(id_text);
  chain.started_at = int_member(v, "started_at");
  chain.updated_at = int_member(v, "updated_at");
  JsonVal thoughts = json_member(v, "thoughts");
  size_t n = json_size(thoughts);
  if (!json_is_array(thoughts)) n = 0;
  for (size_t i = 0; i < n; ++i) {
    if (auto t = read_thought(json_at(thoughts, i))) chain_add(chain, std::move(*t));
  }
  return chain;
}

}  // namespace

std::optional<std::vector<Chain>> read_store(std::string_view bytes) {
  auto doc = json_parse(bytes);
  if (!doc) return std::nullopt;
  JsonVal chains = json_member(doc->root(), "chains");
  if (!json_is_array(chains)) return std::nullopt;
  std::vector<Chain> store(json_size(chains));
  for (size_t k = 0; k < store.size(); ++k) store[k] = read_chain(json_at(chains, k));
  return store;
}
