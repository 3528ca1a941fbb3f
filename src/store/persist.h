// Recording accepted thoughts in the chain store.
#pragma once

#include <optional>
#include <string>

#include "common/platform.h"
#include "common/thought.h"
#include "store/live_store.h"

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

  // How the store was found at the last recording.
  enum class Source { nothing, kept, summary, file };
  Source last_source = Source::nothing;
};

// Adds the thought to the chain of this session in the chains file, under
// the store's lock, and then writes the summary beside it. Reports nothing:
// the tool's answer never depends on it.
void persist_thought(StoreRecorder& recorder, const char* session_id, const Thought& thought);
