#include "mcp/session.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "common/buf.h"
#include "common/platform.h"
#include "store/limits.h"
#include "store/recorder.h"

namespace {

constexpr char kPrefix[] = "[veltrane] ";

void register_branch(Session& s, const std::string& id) {
  for (auto& b : s.branches) {
    if (b.id == id) {
      ++b.count;
      return;
    }
  }
  s.branches.push_back({id, 1});
}

void unregister_branch(Session& s, const std::string& id) {
  for (auto it = s.branches.begin(); it != s.branches.end(); ++it) {
    if (it->id == id) {
      if (--it->count == 0) s.branches.erase(it);
      return;
    }
  }
}

void add_printable(Buf& b, const std::string& text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      buf_addf(b, "\\u%04x", static_cast<unsigned>(byte));
    } else {
      buf_add(b, &c, 1);
    }
  }
}

}  // namespace

std::string session_id_for(int64_t time, uint32_t pid) {
  Buf b;
  buf_addf(b, "th-%llx-%lx", static_cast<unsigned long long>(time), static_cast<unsigned long>(pid));
  return std::string(b.view());
}

bool persist_enabled(const char* disable_value) {
  if (!disable_value) return true;
  for (const char* off : {"1", "true", "TRUE", "True"}) {
    if (std::strcmp(disable_value, off) == 0) return false;
  }
  return true;
}

bool console_enabled(const char* disable_value) {
  if (!disable_value) return true;
  if (std::strcmp(disable_value, "1") == 0) return false;
  return !(std::strlen(disable_value) == 4 && platform_strnicmp(disable_value, "true", 4) == 0);
}

Session session_start(FILE* err) {
  // The recording switch comes from the environment as it is at start-up,
  // before anything else is read.
  const char* disable = std::getenv("DISABLE_THOUGHT_LOGGING");
  bool persist = persist_enabled(disable);
  Session s;
  s.max_history = read_max_history(err);
  s.session_id = session_id_for(platform_time(), platform_pid());
  s.persist = persist;
  return s;
}

std::string console_line(const Thought& t) {
  Buf b;
  buf_str(b, kPrefix);
  if (t.isRevision) {
    buf_addf(b, "Revision %lld/%lld (revising thought %lld)", static_cast<long long>(t.thoughtNumber),
             static_cast<long long>(t.totalThoughts), static_cast<long long>(t.revisesThought));
  } else if (t.carries_branch()) {
    buf_addf(b, "Branch %lld/%lld (from thought %lld, ID: ", static_cast<long long>(t.thoughtNumber),
             static_cast<long long>(t.totalThoughts), static_cast<long long>(t.branchFromThought));
    add_printable(b, *t.branchId);
    buf_str(b, ")");
  } else if (t.branchFromThought != 0) {
    buf_addf(b, "Branch %lld/%lld (from thought %lld)", static_cast<long long>(t.thoughtNumber),
             static_cast<long long>(t.totalThoughts), static_cast<long long>(t.branchFromThought));
  } else {
    buf_addf(b, "Thought %lld/%lld", static_cast<long long>(t.thoughtNumber),
             static_cast<long long>(t.totalThoughts));
  }
  buf_str(b, "\n");
  return std::string(b.view());
}

void session_record(Session& s, Thought t) {
  s.history.push_back(std::move(t));
  const Thought& added = s.history.back();
  if (added.carries_branch()) register_branch(s, *added.branchId);
  // The limit is fixed for the run and the history grows by one thought per
  // call, so this removes at most one.
  while (static_cast<int64_t>(s.history.size()) > s.max_history) {
    const Thought& oldest = s.history.front();
    if (oldest.carries_branch()) unregister_branch(s, *oldest.branchId);
    s.history.pop_front();
  }
}

void session_accept(Session& s, Thought t, FILE* err) {
  if (console_enabled(std::getenv("DISABLE_THOUGHT_LOGGING"))) {
    std::string line = console_line(t);
    std::fwrite(line.data(), 1, line.size(), err);
    std::fflush(err);
  }
  session_record(s, std::move(t));
  // The history's copy is handed over; the store copies what it keeps.
  if (s.persist) persist_thought(s.recorder, s.session_id.c_str(), s.history.back());
}

void session_end(Session& s) {
  if (s.persist) persist_pending(s.recorder, s.session_id.c_str());
}
