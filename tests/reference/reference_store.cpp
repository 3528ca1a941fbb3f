#include "reference_store.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/buf.h"
#include "common/json.h"

namespace {

constexpr long kReadCap = 8388608;

// The text up to its first NUL byte, parsed; the empty store when there is
// no file.
std::optional<JsonDoc> load(const std::optional<std::string>& file) {
  if (!file) return json_parse(R"({"chains":[]})");
  return json_parse(std::string_view(file->c_str(), std::strlen(file->c_str())));
}

JsonVal chain_array(const JsonDoc& doc) {
  JsonVal chains = json_member(doc.root(), "chains");
  return json_is_array(chains) ? chains : JsonVal{};
}

std::string up_to_nul(std::string_view s) { return std::string(s).c_str(); }

std::string quoted(std::string_view s) {
  Buf b;
  json_escape_buf(b, up_to_nul(s).c_str());
  return std::string(b.view());
}

int64_t int_member(JsonVal object, const char* key) {
  JsonVal v = json_member(object, key);
  return json_is_int(v) ? json_int(v) : 0;
}

// The first line of a thought's text, cut to whole characters within 160
// bytes: read forward, character by character (a valid text's lead bytes
// give their lengths).
std::string head_of(JsonVal thought) {
  JsonVal t = json_member(thought, "thought");
  if (!json_is_string(t)) return "";
  std::string_view line = json_str(t);
  line = line.substr(0, line.find('\n'));
  size_t end = 0;
  while (end < line.size()) {
    auto lead = static_cast<unsigned char>(line[end]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (end + length > 160) break;
    end += length;
  }
  return std::string(line.substr(0, end));
}

std::string record(JsonVal chain) {
  JsonVal id = json_member(chain, "id");
  JsonVal thoughts = json_member(chain, "thoughts");
  JsonVal branches = json_member(chain, "branches");
  const size_t thought_count = json_is_array(thoughts) ? json_size(thoughts) : 0;
  std::string r = "{\"id\":" + quoted(json_is_string(id) ? json_str(id) : "") +
                  ",\"started_at\":" + std::to_string(int_member(chain, "started_at")) +
                  ",\"updated_at\":" + std::to_string(int_member(chain, "updated_at")) +
                  ",\"thoughts\":" + std::to_string(thought_count) + ",\"branches\":[";
  for (size_t i = 0; json_is_array(branches) && i < json_size(branches); ++i) {
    JsonVal b = json_at(branches, i);
    if (i > 0) r += ",";
    r += quoted(json_is_string(b) ? json_str(b) : "");
  }
  std::string last_head, first_head;
  if (thought_count > 0) {
    last_head = head_of(json_at(thoughts, thought_count - 1));
    first_head = head_of(json_at(thoughts, 0));
  }
  r += "],\"last_head\":" + quoted(last_head) +
       ",\"truncated\":" + (thought_count >= 1000 ? "true" : "false") +
       ",\"first_head\":" + quoted(first_head) + "}";
  return r;
}

bool request_id(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  }
  return true;
}

std::optional<StoredThought> read_thought(JsonVal v) {
  JsonVal text = json_member(v, "thought");
  if (!json_is_string(text)) return std::nullopt;
  StoredThought t;
  t.text = up_to_nul(json_str(text));
  t.thought_number = json_int(json_member(v, "thought_number"));
  t.total_thoughts = json_int(json_member(v, "total_thoughts"));
  t.next_needed = json_is_true(json_member(v, "next_needed"));
  t.is_revision = json_is_true(json_member(v, "is_revision"));
  t.needs_more = json_is_true(json_member(v, "needs_more"));
  t.revises = json_int(json_member(v, "revises"));
  t.branch_from = json_int(json_member(v, "branch_from"));
  JsonVal branch = json_member(v, "branch_id");
  if (json_is_string(branch)) t.branch_id = up_to_nul(json_str(branch));
  t.at = json_int(json_member(v, "at"));
  return t;
}

Chain read_chain(JsonVal v) {
  Chain chain;
  JsonVal id = json_member(v, "id");
  if (!json_is_string(id) || up_to_nul(json_str(id)).empty()) return chain;
  chain.id = up_to_nul(json_str(id));
  chain.started_at = json_int(json_member(v, "started_at"));
  chain.updated_at = json_int(json_member(v, "updated_at"));
  JsonVal thoughts = json_member(v, "thoughts");
  for (size_t i = 0; json_is_array(thoughts) && i < json_size(thoughts); ++i) {
    if (auto t = read_thought(json_at(thoughts, i))) chain_add(chain, std::move(*t));
  }
  return chain;
}

}  // namespace

std::optional<std::string> reference_file(const std::string& chains_path) {
  FILE* f = std::fopen(chains_path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::optional<std::string> text;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size >= 0 && size <= kReadCap && std::fseek(f, 0, SEEK_SET) == 0) {
    text.emplace(static_cast<size_t>(size), '\0');
    text->resize(std::fread(text->data(), 1, text->size(), f));
  }
  std::fclose(f);
  return text;
}

std::optional<ReferenceList> reference_list(const std::optional<std::string>& file) {
  auto doc = load(file);
  if (!doc) return std::nullopt;
  ReferenceList list;
  JsonVal chains = chain_array(*doc);
  list.count = json_size(chains);
  for (size_t i = 0; i < list.count; ++i) {
    JsonVal chain = json_at(chains, i);
    if (!json_is_object(chain)) continue;
    if (!list.records.empty()) list.records += ",";
    list.records += record(chain);
  }
  return list;
}

std::optional<StoreTotals> reference_totals(const std::optional<std::string>& file) {
  auto doc = load(file);
  if (!doc) return std::nullopt;
  StoreTotals t;
  JsonVal chains = chain_array(*doc);
  t.chains = json_size(chains);
  for (size_t i = 0; i < t.chains; ++i) {
    JsonVal chain = json_at(chains, i);
    if (!json_is_object(chain)) continue;
    JsonVal updated = json_member(chain, "updated_at");
    if (json_is_int(updated) && json_int(updated) > t.last_activity) t.last_activity = json_int(updated);
    JsonVal branches = json_member(chain, "branches");
    if (json_is_array(branches)) t.branches += json_size(branches);
    JsonVal thoughts = json_member(chain, "thoughts");
    if (!json_is_array(thoughts)) continue;
    t.thoughts += json_size(thoughts);
    for (size_t k = 0; k < json_size(thoughts); ++k) {
      if (json_is_true(json_member(json_at(thoughts, k), "is_revision"))) ++t.revisions;
    }
  }
  return t;
}

std::optional<std::string> reference_chain(const std::optional<std::string>& file, std::string_view id) {
  auto doc = load(file);
  if (!doc) return std::nullopt;
  JsonVal chains = chain_array(*doc);
  for (size_t i = 0; i < json_size(chains); ++i) {
    JsonVal chain = json_at(chains, i);
    JsonVal chain_id = json_member(chain, "id");
    if (json_is_string(chain_id) && json_str(chain_id) == id)
      return json_write(chain).value_or("(write failed)");
  }
  return std::string();
}

std::vector<std::string> reference_ids(const std::optional<std::string>& file) {
  std::vector<std::string> ids;
  auto doc = load(file);
  if (!doc) return ids;
  JsonVal chains = chain_array(*doc);
  for (size_t i = 0; i < json_size(chains); ++i) {
    JsonVal id = json_member(json_at(chains, i), "id");
    if (json_is_string(id) && request_id(json_str(id))) ids.emplace_back(json_str(id));
  }
  return ids;
}

std::optional<std::vector<Chain>> reference_read_chains(std::string_view bytes) {
  auto doc = json_parse(bytes);
  if (!doc) return std::nullopt;
  JsonVal chains = json_member(doc->root(), "chains");
  if (!json_is_array(chains)) return std::nullopt;
  std::vector<Chain> store(json_size(chains));
  for (size_t k = 0; k < store.size(); ++k) store[k] = read_chain(json_at(chains, k));
  return store;
}
