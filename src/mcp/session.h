// The in-memory log of one MCP server run: the bounded history of accepted
// thoughts, the registry of the branches they open, the console lines and
// the hand-over to the chain store.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "common/thought.h"
#include "store/recorder.h"

// One registered branch and how many thoughts in the history carry it.
struct SessionBranch {
  std::string id;
  uint64_t count = 0;
  bool operator==(const SessionBranch&) const = default;
};

// After every call: history.size() <= max_history; the registry holds exactly
// one entry per distinct branch id carried by a thought in the history, with
// its count (never 0), in the order of first registration.
struct Session {
  std::deque<Thought> history;  // oldest first
  std::vector<SessionBranch> branches;
  int64_t max_history = 1000;  // at least 1, fixed for the run
  std::string session_id;      // also the id of the run's stored chain
  bool persist = false;        // record accepted thoughts in the chain store
  StoreRecorder recorder;      // what the run knows of the chain store between recordings
};

// The session of a new server run: the history limit from the environment
// (read_max_history, which may warn on err), the session id from the current
// time and process id, and recording on unless DISABLE_THOUGHT_LOGGING is
// "1", "true", "TRUE" or "True".
Session session_start(FILE* err);

// "th-" + time in lower-case hexadecimal + "-" + process id in lower-case
// hexadecimal.
std::string session_id_for(int64_t time, uint32_t pid);

// Whether a DISABLE_THOUGHT_LOGGING value (null: unset) leaves recording on;
// fixed at start-up.
bool persist_enabled(const char* disable_value);

// Whether a DISABLE_THOUGHT_LOGGING value (null: unset) leaves the console
// lines on: off for "1" and for "true" in any letter case.
bool console_enabled(const char* disable_value);

// The console line of an accepted thought, "[veltrane] " first and a LF last:
// a Revision, Branch (with or without its id) or Thought line. Control bytes
// of the branch id are written as \u00xx so that the line stays one line.
std::string console_line(const Thought& t);

// Appends the thought to the history, registers its branch and trims the
// oldest thought (and its branch's count) beyond max_history.
void session_record(Session& s, Thought t);

// Everything an accepted thought goes through, in order: its console line on
// err (unless DISABLE_THOUGHT_LOGGING switches it off at this moment),
// session_record, and persist_thought when recording is on.
void session_accept(Session& s, Thought t, FILE* err);

// The end of the server run: one last attempt to record the thoughts that
// are still pending, when recording is on.
void session_end(Session& s);
