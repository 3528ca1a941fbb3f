#include "web/api_chain.h"

#include <cstring>
#include <string>

#include "common/buf.h"
#include "store/files.h"
#include "store/reader.h"
#include "web/answer.h"
#include "web/body_field.h"
#include "web/query.h"

namespace {

constexpr size_t kIdCapacity = 96;
constexpr size_t kIdMax = 64;

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

void api_chain(Buf& body, const Request& request, FILE* /*err*/) {
  char id[kIdCapacity] = "";
  bool found_id = json_str_field(request.body, "id", id, sizeof id);
  if (!found_id && *request.query) found_id = get_query_val(request.query, "id", id, sizeof id);
  if (!found_id || !chain_id_valid(id)) {
    api_err(body, "invalid chain id");
    return;
  }

  std::optional<std::string> chain;
  if (store_chain(chains_path(), id, chain) != StoreStatus::ok) {
    api_err(body, "state unreadable");
    return;
  }
  if (!chain) {
    api_err(body, "chain not found");
    return;
  }
  // The chain is an object with at least its "id": "ok" goes in as its
  // first member, in place of the opening brace.
  buf_str(body, "{\"ok\":true,");
  buf_add(body, std::string_view(*chain).substr(1));
}
