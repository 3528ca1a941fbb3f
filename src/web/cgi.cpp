#include "web/cgi.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/buf.h"
#include "common/json.h"
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
#include "web/trust.h"

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
  // true: the action changes the store, and runs only for a POST whose body
  // is a JSON object sent as application/json. No other site can make a
  // browser send that without asking first, which this endpoint never
  // grants; a link, an image, a form or a preflight can change nothing.
  bool changes_state;
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

// What a state-changing action asks for, said in its refusals.
std::string change_rule(const ApiAction& a) {
  std::string rule(a.name);
  rule += " needs a POST with Content-Type: application/json and a JSON object as its body";
  return rule;
}

// Writes the refusal of a state-changing action for this request and
// returns true; returns false, having written nothing, when it may run.
bool refuse_change(FILE* out, const ApiAction& a, std::string_view method, const Request& request) {
  const std::string rule = change_rule(a);
  if (method != "POST") {
    api_refuse(out, "405 Method Not Allowed", "POST", rule.c_str());
  } else if (!is_json_type(std::getenv("CONTENT_TYPE"))) {
    api_refuse(out, "415 Unsupported Media Type", "", rule.c_str());
  } else if (!json_is_object(request.body)) {
    api_refuse(out, "400 Bad Request", "", rule.c_str());
  } else {
    return false;
  }
  return true;
}

int serve(FILE* in, FILE* out, FILE* err) {
  const char* query_env = std::getenv("QUERY_STRING");
  const char* query = query_env ? query_env : "";
  // A web server always names the method; run by hand, the request counts
  // as a GET.
  const char* method_env = std::getenv("REQUEST_METHOD");
  const std::string_view method = method_env ? method_env : "GET";

  // The action names below view one of these areas or a literal.
  char from_query[kActionCapacity] = "";
  char from_body[kActionCapacity] = "";
  std::string_view action;
  if (get_query_val(query, "action", from_query, sizeof from_query)) {
    action = from_query;
  } else if (asks_for_json(query)) {
    action = "chains";
  } else if (method != "POST") {
    // The page holds no data, so it needs no password and may be linked
    // to from anywhere; everything it shows comes from the actions.
    page_write(out);
    return 0;
  }

  // Every action, reading or changing, passes these in this order. The
  // check of the sending site comes first: it needs no secret, so a page
  // of another site that guesses passwords learns nothing from the answer
  // or from its time.
  if (from_other_site(std::getenv("HTTP_SEC_FETCH_SITE"))) {
    api_refuse(out, "403 Forbidden", "", "request from another site refused");
    return 0;
  }
  if (!gate_passes(query_env)) {
    std::fwrite(REFUSAL_ANSWER.data(), 1, REFUSAL_ANSWER.size(), out);
    return 0;
  }
  if (!action_method(method)) {
    // A preflight, HEAD, PUT or DELETE runs nothing. Its body is not read,
    // so only the query's action can name what was meant.
    const ApiAction* named = find_action(action);
    if (named && named->changes_state) {
      api_refuse(out, "405 Method Not Allowed", "POST", change_rule(*named).c_str());
    } else {
      api_refuse(out, "405 Method Not Allowed", "GET, POST", "method not allowed; use GET or POST");
    }
    return 0;
  }

  // A GET or POST has its body read when one is announced. It is parsed
  // once; the actions read their members from the parsed root.
  std::optional<std::string> body = read_body(in, std::getenv("CONTENT_LENGTH"));
  std::optional<JsonDoc> doc = body ? body_parse(*body) : std::nullopt;
  Request request;
  request.query = query;
  if (doc) request.body = doc->root();
  if (json_str_field(request.body, "action", from_body, sizeof from_body) && from_body[0]) action = from_body;
  if (action.empty()) action = "chains";

  const ApiAction* a = find_action(action);
  if (a && a->changes_state && refuse_change(out, *a, method, request)) return 0;
  Buf answer;
  if (a) {
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
