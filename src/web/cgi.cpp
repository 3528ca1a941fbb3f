#include "web/cgi.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/buf.h"
#include "web/answer.h"
#include "web/api_chain.h"
#include "web/api_chains.h"
#include "web/api_clear.h"
#include "web/api_info.h"
#include "web/api_stats.h"
#include "web/body_field.h"
#include "web/gate.h"
#include "web/page/page.h"
#include "web/query.h"
#include "web/request.h"

namespace {

constexpr size_t kActionCapacity = 64;

// "format=json" asks for the chain list when its first occurrence anywhere
// in the query ends the query or is followed by "&".
bool asks_for_json(const char* query) {
  const char* hit = std::strstr(query, "format=json");
  if (!hit) return false;
  char after = hit[std::strlen("format=json")];
  return after == '\0' || after == '&';
}

// The JSON actions, by the name a request gives.
struct ApiAction {
  std::string_view name;
  ApiHandler handler;
  bool changes_state;  // false: the action only reads
};

constexpr ApiAction kActions[] = {
    {"chains", api_chains, false},      // a summary record of every chain
    {"chain", api_chain, false},        // one chain, whole
    {"stats", api_stats, false},        // totals and limits
    {"info", api_info, false},          // identity, tool schemas, limits
    {"clear", api_clear_action, true},  // removes the chains file
};

const ApiAction* find_action(std::string_view name) {
  for (const ApiAction& a : kActions) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

int serve(FILE* in, FILE* out, FILE* err) {
  const char* query_env = std::getenv("QUERY_STRING");
  if (!gate_passes(query_env)) {
    std::fwrite(REFUSAL_ANSWER.data(), 1, REFUSAL_ANSWER.size(), out);
    return 0;
  }
  const char* query = query_env ? query_env : "";

  // The action names below view one of these areas or a literal.
  char from_query[kActionCapacity] = "";
  char from_body[kActionCapacity] = "";
  std::string_view action;
  if (get_query_val(query, "action", from_query, sizeof from_query)) {
    action = from_query;
  } else if (asks_for_json(query)) {
    action = "chains";
  } else {
    const char* method = std::getenv("REQUEST_METHOD");
    if (!method || std::strcmp(method, "POST") != 0) {
      page_write(out);
      return 0;
    }
  }

  // Any request that gets here has its body read when one is announced,
  // whatever its method. It is parsed once; the actions read their members
  // from the parsed root.
  std::optional<std::string> body = read_body(in, std::getenv("CONTENT_LENGTH"));
  std::optional<JsonDoc> doc = body ? body_parse(*body) : std::nullopt;
  Request request;
  request.query = query;
  if (doc) request.body = doc->root();
  if (json_str_field(request.body, "action", from_body, sizeof from_body) && from_body[0]) action = from_body;
  if (action.empty()) action = "chains";

  Buf answer;
  if (const ApiAction* a = find_action(action)) {
    a->handler(answer, request, err);
  } else {
    api_err(answer, "unknown action");
  }
  api_answer(out, answer);
  return 0;
}

}  // namespace

int run_web(FILE* in, FILE* out, FILE* err) {
  int status = serve(in, out, err);
  std::fflush(out);
  return status;
}
