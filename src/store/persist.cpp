#include "store/persist.h"

#include <optional>
#include <string>

#include "common/buf.h"
#include "common/file.h"
#include "common/platform.h"
#include "store/live_store.h"
#include "store/make_state_dir.h"
#include "store/read_store.h"
#include "store/state_dir.h"
#include "store/store_file.h"

namespace {

// What this process knows of the chains file since its last recording.
// Reading and parsing a large store costs far more than writing it, so the
// parsed store is kept between recordings and trusted only while the file
// is exactly the one this process wrote: same identity (device, inode,
// size, times) and same bytes. Any outside change, another server's
// recording, a deletion or an edit, makes the file be read afresh.
struct StoreCache {
  bool valid = false;
  std::string path;
  FileIdentity identity;
  Buf text;  // the file's bytes as written
  LiveStore store;
};

StoreCache& cache() {
  static StoreCache* the_cache = new StoreCache();  // lives to the end of the process
  return *the_cache;
}

// Brings the cache up to date with the chains file. False when this
// thought cannot be recorded safely: the file exists but cannot be read
// right now (it is left alone), or it cannot be read as a store and could
// not be moved out of the way.
bool load(StoreCache& c, const std::string& path, int64_t now) {
  std::optional<FileIdentity> identity = platform_file_identity(path.c_str());
  if (!identity) {
    c.valid = false;
    c.store = LiveStore{};
    return true;  // no file yet, or deleted: the empty store
  }
  std::string bytes;
  bool oversized = identity->size > READ_FILE_MAX;
  if (!oversized && !read_file(path.c_str(), bytes)) return false;
  if (!oversized && c.valid && c.path == path && c.identity == *identity && c.text.view() == bytes) return true;

  c.valid = false;
  c.store = LiveStore{};
  std::optional<std::vector<Chain>> chains;
  if (!oversized) chains = read_store(bytes);
  if (!chains) {
    // A file that is not a store (an empty one, a torn one, one over the
    // read cap) holds what the user may still want: keep it under a name
    // that says what it is, and start a new store.
    return move_aside(path, now).has_value();
  }
  c.store = live_store_from(std::move(*chains));
  return true;
}

}  // namespace

void persist_thought(const char* session_id, const Thought& thought) {
  if (!make_state_dir(state_dir())) return;
  std::string path = chains_path();
  // The lock file stays beside the chains file for good: locking the chains
  // file itself would not work, since every recording replaces it. The lock
  // covers the whole read-modify-write, so that two servers sharing the
  // directory never lose each other's thoughts.
  std::optional<FileLock> lock = FileLock::acquire((path + ".lock").c_str());
  if (!lock) return;

  StoreCache& c = cache();
  int64_t now = platform_time();
  if (!load(c, path, now)) return;

  if (!live_store_record(c.store, session_id, stored_thought_from(thought, now), now, READ_FILE_MAX)) {
    // Too large to be stored at all; the file and the cache stay as they are.
    return;
  }
  Buf text;
  live_store_text(text, c.store);
  std::optional<FileIdentity> written;
  if (replace_store_file(path, text.view())) written = platform_file_identity(path.c_str());
  c.valid = written.has_value();
  if (!c.valid) {
    c.store = LiveStore{};
    return;
  }
  c.path = path;
  c.identity = *written;
  c.text = std::move(text);
}
