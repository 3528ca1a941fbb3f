// Running programs for the benchmarks: one run with its wall time and peak
// memory, and a long-lived child spoken to line by line.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

struct RunFigures {
  double ms = 0;  // from the spawn to the child's exit, its output drained
  std::string out;
};

// Runs the program with these arguments and environment (nothing else),
// stdin empty, stdout drained through a pipe as a web server would.
RunFigures run_once(const std::string& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env);

// A child with a pipe to its stdin and one from its stdout.
class LineChild {
 public:
  LineChild(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env);
  ~LineChild();
  LineChild(const LineChild&) = delete;
  LineChild& operator=(const LineChild&) = delete;

  // Writes one line (its LF included) and waits for one line of answer;
  // the milliseconds in between.
  double exchange(const std::string& line);
  // Closes its stdin and waits for it to end.
  void finish();

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string pending_;
};

double now_ms();

// The machine's load averages, as /proc/loadavg tells them.
std::string load_average();
