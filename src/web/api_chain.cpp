#include "web/api_chain.h"

#include <cstring>
#include <string>

#include "common/json.h"
#include "store/load_chains.h"
#include "web/answer.h"
#include "web/body_field.h"
#include "web/query.h"

namespace {

constexpr size_t kIdCapacity = 96;
constexpr size_t kIdMax = 64;

constexpr std::string_view kSerializeFailed = "{\"ok\":false,\"error\":\"serialize failed\"}\n";

bool id_byte(char c) {
  // Spelled out rather than isalnum, so that no locale can admit bytes of
  // 0x80 and above.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

bool chain_id_valid(const char* id) {
  const size_t n = std::strlen(id);
  if (n < 1 || n > kIdMax) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!id_byte(id[i])) return false;
  }
  return true;
}

void api_chain(FILE* out, const Request& request) {
  char id[kIdCapacity] = "";
  bool found_id = request.body && json_str_field(request.body, "id", id, sizeof id);
  if (!found_id && *request.query) found_id = get_query_val(request.query, "id", id, sizeof id);
  if (!found_id || !chain_id_valid(id)) {
    api_err(out, "invalid chain id");
    return;
  }

  auto doc = load_chains();
  if (!doc) {
    api_err(out, "state unreadable");
    return;
  }
  JsonVal chains = json_member(doc->root(), "chains");
  JsonVal chain;
  for (size_t i = 0, n = json_size(json_is_array(chains) ? chains : JsonVal{}); i < n && !chain; ++i) {
    JsonVal candidate = json_at(chains, i);
    JsonVal candidate_id = json_member(candidate, "id");
    if (json_is_string(candidate_id) && json_str(candidate_id) == id) chain = candidate;
  }
  if (!chain) {
    api_err(out, "chain not found");
    return;
  }

  auto text = json_write(chain);
  json_headers(out);
  if (!text) {
    std::fwrite(kSerializeFailed.data(), 1, kSerializeFailed.size(), out);
    return;
  }
  // The chain is an object with at least its "id": "ok" goes in as its
  // first member, in place of the opening brace.
  std::string answer = "{\"ok\":true,";
  answer.append(*text, 1);
  answer += '\n';
  std::fwrite(answer.data(), 1, answer.size(), out);
}
