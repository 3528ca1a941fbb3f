// Requests and the exact answer lines of the MCP mode, for tests that run
// the built program with --mcp.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace mcp_test {

// A JSON string literal as the server writes it: two-character escapes for
// tab, LF, CR, quote and backslash, \u00xx for the other control bytes.
inline std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

inline std::string request(const std::string& id, const std::string& method) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + "\"}\n";
}

inline std::string call(const std::string& id, const std::string& arguments) {
  return R"({"jsonrpc":"2.0","id":)" + id +
         R"(,"method":"tools/call","params":{"name":"veltraneflowstream","arguments":)" + arguments + "}}\n";
}

inline std::string pong(const std::string& id) {
  return R"({"jsonrpc":"2.0","id":)" + id +
         R"(,"result":{}})"
         "\n";
}

inline std::string rpc_error(const std::string& id, int code, const std::string& message) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"error":{"code":)" + std::to_string(code) +
         R"(,"message":")" + message + "\"}}\n";
}

inline std::string record(long long number, long long total, bool next,
                          const std::vector<std::string>& branches, size_t history) {
  std::string out = R"({"thoughtNumber":)" + std::to_string(number) + R"(,"totalThoughts":)" +
                    std::to_string(total) + R"(,"nextThoughtNeeded":)" + (next ? "true" : "false") +
                    R"(,"branches":[)";
  for (size_t i = 0; i < branches.size(); ++i) {
    if (i) out += ',';
    out += quote(branches[i]);
  }
  return out + R"(],"thoughtHistoryLength":)" + std::to_string(history) + "}";
}

inline std::string failure(const std::string& message) {
  return R"({"error":)" + quote(message) + R"(,"status":"failed"})";
}

inline std::string tool_result(const std::string& id, const std::string& body, bool is_error) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"content":[{"type":"text","text":)" + quote(body) +
         R"(}],"structuredContent":)" + body + R"(,"isError":)" + (is_error ? "true" : "false") + "}}\n";
}

// Runs the program with --mcp and the given input, with this state
// directory; env adds to or overrides it.
inline RunResult run_mcp_in(const std::string& state_dir, const std::string& input,
                            std::map<std::string, std::string> env = {}) {
  env.emplace("VELTRANE_STATE_DIR", state_dir);
  return run_program({"--mcp"}, env, input);
}

// The same with a fresh temporary state directory (under wine, LOCALAPPDATA
// would point into the wine prefix otherwise).
inline RunResult run_mcp(const std::string& input, std::map<std::string, std::string> env = {}) {
  TempDir state;
  return run_mcp_in(state.str(), input, std::move(env));
}

// Splits the answers of a run in which every case was followed by a ping
// with the id marker_id(i): segment i holds what case i was answered. Fewer
// segments than cases when a marker is missing.
inline std::string marker_id(size_t i) { return "\"case-" + std::to_string(i) + "\""; }

inline std::vector<std::string> split_at_markers(const std::string& out, size_t cases) {
  std::vector<std::string> segments;
  size_t at = 0;
  for (size_t i = 0; i < cases; ++i) {
    std::string marker = pong(marker_id(i));
    size_t found = out.find(marker, at);
    if (found == std::string::npos) break;
    segments.push_back(out.substr(at, found - at));
    at = found + marker.size();
  }
  if (segments.size() == cases && at != out.size()) segments.push_back(out.substr(at));  // stray output
  return segments;
}

}  // namespace mcp_test
