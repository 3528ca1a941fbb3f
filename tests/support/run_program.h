// Runs the program under test as a child process with a given environment
// and stdin, and collects what it writes.
#pragma once

#include <map>
#include <string>
#include <vector>

struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

struct RunOptions {
  std::vector<std::string> args;                // after the program name
  std::map<std::string, std::string> env;       // the whole environment, apart from what the runner adds
  std::string input;                            // written to stdin, which is then closed
};

// Path of the program under test: VELTRANE_EXE.
std::string program_path();

// True when the program runs under a wrapper such as wine
// (VELTRANE_EXE_WRAPPER), that is, when the Windows build is tested.
bool under_wrapper();

// Runs the program to its end. The child's environment holds PATH (and, under
// a wrapper, what the wrapper needs: WINEPREFIX, WINEDEBUG, HOME unless
// given) plus options.env.
RunResult run_program(const RunOptions& options);

// Shorthand: run with arguments, environment and input.
RunResult run_program(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                      std::string input = {});
