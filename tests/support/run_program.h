// Runs the program under test as a child process with a given environment
// and stdin, and collects what it writes.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
  bool timed_out = false;  // killed at the deadline; out and err hold what came before
};

struct RunOptions {
  std::vector<std::string> args;              // after the program name
  std::map<std::string, std::string> env;     // the whole environment, apart from what the runner adds
  std::string input;                          // written to stdin, which is then closed
  std::chrono::milliseconds deadline{60000};  // from the start; then the child is killed
};

// Path of the program under test: VELTRANE_EXE.
std::string program_path();

// True when the program runs under a wrapper such as wine
// (VELTRANE_EXE_WRAPPER), that is, when the Windows build is tested.
bool under_wrapper();

// Runs the program to its end. The child's environment holds PATH (and, under
// a wrapper, what the wrapper needs: WINEPREFIX, WINEDEBUG, HOME unless
// given) plus options.env. A child still running at the deadline is killed
// and the current test fails with what the child wrote until then, so a hung
// program cannot hang the suite.
RunResult run_program(const RunOptions& options);

// Shorthand: run with arguments, environment and input.
RunResult run_program(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                      std::string input = {});
