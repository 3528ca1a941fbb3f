#include "web/cgi.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

void dispatch(FILE* out, const char* action, const Request& request) {
  if (std::strcmp(action, "chains") == 0) {
    api_chains(out);
  } else if (std::strcmp(action, "chain") == 0) {
    api_chain(out, request);
  } else if (std::strcmp(action, "stats") == 0) {
    api_stats(out);
  } else if (std::strcmp(action, "info") == 0) {
    api_info(out);
  } else if (std::strcmp(action, "clear") == 0) {
    api_clear_action(out, request);
  } else {
    api_err(out, "unknown action");
  }
}

int serve(FILE* in, FILE* out) {
  const char* query_env = std::getenv("QUERY_STRING");
  if (!gate_passes(query_env)) {
    std::fwrite(REFUSAL_ANSWER.data(), 1, REFUSAL_ANSWER.size(), out);
    return 0;
  }
  const char* query = query_env ? query_env : "";

  char action[kActionCapacity] = "";
  if (!get_query_val(query, "action", action, sizeof action)) {
    if (asks_for_json(query)) {
      std::strcpy(action, "chains");
    } else {
      const char* method = std::getenv("REQUEST_METHOD");
      if (!method || std::strcmp(method, "POST") != 0) {
        page_write(out);
        return 0;
      }
    }
  }

  // Any request that gets here has its body read when one is announced,
  // whatever its method.
  std::optional<std::string> body = read_body(in, std::getenv("CONTENT_LENGTH"));
  Request request;
  request.query = query;
  if (body) {
    request.body = body->c_str();
    char from_body[kActionCapacity];
    if (json_str_field(request.body, "action", from_body, sizeof from_body) && from_body[0])
      std::strcpy(action, from_body);
  }
  if (!action[0]) std::strcpy(action, "chains");

  dispatch(out, action, request);
  return 0;
}

}  // namespace

int run_web(FILE* in, FILE* out) {
  int status = serve(in, out);
  std::fflush(out);
  return status;
}
