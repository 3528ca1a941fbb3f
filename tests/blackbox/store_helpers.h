// Looking at the chain store from outside: a reader of chains.json that
// does not share a line of code with the program, MCP servers started as
// child processes that can be killed, and snapshots of a state directory.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace store_test {

struct SeenThought {
  std::string text;
  long long number = 0;
  bool operator==(const SeenThought&) const = default;
};

struct SeenChain {
  std::string id;
  std::vector<SeenThought> thoughts;
  bool operator==(const SeenChain&) const = default;
};

// Reads chains.json as a client would: the bytes must be one strict JSON
// value and nothing else, a root object whose only member is "chains", an
// array of chain objects with the six members in the written order ("id",
// "started_at", "updated_at", "thoughts", "count", "branches"), "count"
// equal to the number of thoughts, and every thought an object that starts
// with "thought" and "thought_number" and ends with "at". Nothing on any
// failure, with the reason in *why.
std::optional<std::vector<SeenChain>> parse_store(const std::string& bytes, std::string* why);

// The chain whose id is the session id of the server with this process id
// ("th-<time in hex>-<pid in hex>"), or null.
const SeenChain* chain_of(const std::vector<SeenChain>& chains, pid_t pid);

// The arguments of an accepted thought numbered n of total, with this text.
std::string thought_args(const std::string& text, long long n, long long total);

// Starts the program with --mcp, stdin read from in_path and stdout and
// stderr written to out_path and err_path (created or truncated). The
// environment holds PATH and env. The child's process id.
pid_t spawn_mcp(const std::map<std::string, std::string>& env, const std::string& in_path,
                const std::string& out_path, const std::string& err_path);

// Waits for the child; its exit status, or -1 when it did not exit normally.
int wait_child(pid_t pid);

// Nothing while the child runs; once it has ended (it is then reaped), its
// exit status as wait_child gives it. Call it no more after that.
std::optional<int> poll_child(pid_t pid);

// The file's bytes, or nothing when it cannot be opened (it is missing).
// An empty file gives an empty string.
std::optional<std::string> read_if_present(const std::string& path);

// Every regular file under dir, by its path relative to dir, with its bytes.
std::map<std::string, std::string> snapshot_files(const std::string& dir);

}  // namespace store_test
