// Shared pieces of the web endpoint's black-box tests: one CGI request
// against the built program, and the exact texts of its answers.
#pragma once

#include <map>
#include <string>

#include "support/run_program.h"

inline const std::string kJsonHeaders =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "\r\n";

inline const std::string kRefusal =
    "Status: 401 Unauthorized\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "\r\n"
    "{\"ok\":false,\"error\":\"invalid node password\"}\n";

inline std::string error_answer(const std::string& message) {
  return kJsonHeaders + "{\"ok\":false,\"error\":\"" + message + "\"}\n";
}

// One request: the CGI variables in env, the body as stdin. The state
// directory is always given, since under wine LOCALAPPDATA is set by wine.
// GATEWAY_INTERFACE is set as a web server sets it.
inline RunResult web_request(const std::string& state_dir, std::map<std::string, std::string> env,
                             std::string body = {}) {
  env["VELTRANE_STATE_DIR"] = state_dir;
  env.emplace("GATEWAY_INTERFACE", "CGI/1.1");
  return run_program({}, std::move(env), std::move(body));
}

// The body of a JSON answer, or "" when the headers are not the JSON ones.
inline std::string json_body(const RunResult& r) {
  if (r.out.rfind(kJsonHeaders, 0) != 0) return "";
  return r.out.substr(kJsonHeaders.size());
}

// Which answer came back, told by its shape.
inline std::string answer_kind(const RunResult& r) {
  if (r.out == kRefusal) return "refused";
  if (r.out.rfind("Content-Type: text/html", 0) == 0) return "page";
  std::string body = json_body(r);
  if (body.rfind("{\"ok\":true,\"plugin\":\"plugin_veltrane\",\"count\":", 0) == 0) return "chains";
  if (body.rfind("{\"ok\":true,\"chains\":", 0) == 0) return "stats";
  if (body.rfind("{\"ok\":true,\"plugin\":\"plugin_veltrane\",\"slug\":", 0) == 0) return "info";
  if (body.rfind("{\"ok\":false,\"error\":", 0) == 0) return body.substr(21, body.size() - 24);
  return "other: " + r.out;
}
