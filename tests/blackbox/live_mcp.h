// An MCP server run as a child process that the test talks to line by
// line: a request is written, and its answer awaited with a deadline, so a
// test can act between two requests (clear the store, release a lock) and
// measure how long an answer took.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace store_test {

class LiveMcp {
 public:
  // Starts the program with --mcp; its environment holds PATH and env.
  // stderr goes to /dev/null.
  explicit LiveMcp(const std::map<std::string, std::string>& env);
  ~LiveMcp();  // kills the child if it still runs
  LiveMcp(const LiveMcp&) = delete;
  LiveMcp& operator=(const LiveMcp&) = delete;

  // Writes one request line (its LF included).
  void send(const std::string& line);

  // The next answer line (with its LF), or nothing when none came within
  // the deadline.
  std::optional<std::string> answer(std::chrono::milliseconds deadline);

  // Ends the input and waits for the child; its exit status, or -1.
  int finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;  // read past the last answer line
};

}  // namespace store_test
