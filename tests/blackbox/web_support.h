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
    "Referrer-Policy: no-referrer\r\n"
    "\r\n";

inline const std::string kRefusal =
    "Status: 401 Unauthorized\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Referrer-Policy: no-referrer\r\n"
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

// A refusal with its status line (and Allow line when allow is not empty).
inline std::string refusal_answer(const std::string& status, const std::string& allow,
                                  const std::string& message) {
  return "Status: " + status + "\r\n" + (allow.empty() ? "" : "Allow: " + allow + "\r\n") + kJsonHeaders +
         "{\"ok\":false,\"error\":\"" + message + "\"}\n";
}

// The store's clear as a script sends it: a POST of JSON.
inline RunResult clear_request(const std::string& state_dir) {
  const std::string body = R"({"action":"clear","confirm":true})";
  return web_request(state_dir,
                     {{"REQUEST_METHOD", "POST"},
                      {"CONTENT_TYPE", "application/json"},
                      {"CONTENT_LENGTH", std::to_string(body.size())}},
                     body);
}

// The body of a JSON answer, or "" when the headers are not the JSON ones.
inline std::string json_body(const RunResult& r) {
  if (r.out.rfind(kJsonHeaders, 0) != 0) return "";
  return r.out.substr(kJsonHeaders.size());
}

// Which answer came back, told by its shape; a refusal with a status other
// than 401 as "STATUS: message".
inline std::string answer_kind(const RunResult& r) {
  if (r.out == kRefusal) return "refused";
  if (r.out.rfind("Status: ", 0) == 0) {
    const size_t eol = r.out.find("\r\n");
    std::string rest = r.out.substr(eol + 2);
    if (rest.rfind("Allow: ", 0) == 0) rest = rest.substr(rest.find("\r\n") + 2);
    if (rest.rfind(kJsonHeaders + "{\"ok\":false,\"error\":\"", 0) != 0) return "other: " + r.out;
    const std::string body = rest.substr(kJsonHeaders.size());
    return r.out.substr(8, 3) + ": " + body.substr(21, body.size() - 24);
  }
  if (r.out.rfind("Content-Type: text/html", 0) == 0) return "page";
  std::string body = json_body(r);
  if (body.rfind("{\"ok\":true,\"plugin\":\"plugin_veltrane\",\"count\":", 0) == 0) return "chains";
  if (body.rfind("{\"ok\":true,\"chains\":", 0) == 0) return "stats";
  if (body.rfind("{\"ok\":true,\"plugin\":\"plugin_veltrane\",\"slug\":", 0) == 0) return "info";
  if (body.rfind("{\"ok\":false,\"error\":", 0) == 0) return body.substr(21, body.size() - 24);
  return "other: " + r.out;
}
