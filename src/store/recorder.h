// Recording accepted thoughts in the chain store.
#pragma once

#include <optional>
#include <string>

#include "common/platform.h"
#include "common/thought.h"
#include "store/recorder_cache.h"

// How long a recording waits for the store's lock before it leaves the
// thought pending: long enough for any healthy recording of a full store,
// short enough that a stalled server never keeps another's answers waiting.
inline constexpr int64_t RECORD_LOCK_WAIT_MS = 2000;

// What one recorder (one MCP session) knows of the chains file since its
// last recording. Reading a large store costs far more than writing it, so
// the store is kept between recordings and trusted while the file is
// exactly the one this recorder wrote last: the same identity (device,
// inode, size, modification and change times). Any outside change, another
// server's recording, a deletion or an edit, makes the file be read afresh.
struct StoreRecorder {
  bool valid = false;
  std::string path;       // the chains file it describes
  FileIdentity identity;  // of the file as written
  LiveStore store;

  // Thoughts accepted but not in the file yet, oldest first, each with the
  // time it was accepted: the lock stayed busy, the file could not be read
  // (a read error, something at its path that is not a regular file) or
  // written. They are written, in order, before the next thought. At most
  // MAX_THOUGHTS_EACH are kept, the newest: a chain holds no more.
  std::vector<StoredThought> pending;

  // ---- Extra members (for testing) ----
  // How the store was found at the last recording.
  enum class Source { nothing, kept, summary, file };
  Source TEST_last_source = Source::nothing;
};

// Adds the thought (stamped with the current time) to the chain of this
// session in the chains file, after the thoughts still pending, under the
// store's lock, and then writes the summary beside it. When the lock cannot
// be had within RECORD_LOCK_WAIT_MS, or the file cannot be read or written
// now, the thought stays pending and nothing on disk changes. A file that
// is read whole and is not a store is moved aside first; a file that could
// not be read is left exactly as it is. Reports nothing: the tool's answer
// never depends on it.
void persist_thought(StoreRecorder& recorder, const char* session_id, const Thought& thought);

// One more attempt, with the same bounded wait, to write what is pending
// (for the end of the server run).
void persist_pending(StoreRecorder& recorder, const char* session_id);
