#include "store/recorder.h"

#include <string>

#include "common/buf.h"
#include "common/file.h"
#include "store/files.h"
#include "store/format.h"
#include "store/format_records.h"
#include "store/format_walk.h"
#include "store/limits.h"
#include "store/summary.h"

namespace {

// The store through the summary of a file this program wrote: only the
// session's chain is read as JSON, the others are taken as they stand.
// Nothing when there is no summary for exactly this file.
std::optional<LiveStore> load_through_summary(const std::string& path, const FileIdentity& identity,
                                              const std::string& session_id) {
  std::optional<StoreSummary> summary = trusted_summary(path, identity);
  if (!summary) return std::nullopt;
  FileReader reader(path.c_str(), READ_FILE_MAX);
  std::optional<FileIdentity> open_file;
  if (reader.status() == FileOpen::ok) open_file = platform_file_identity(reader.file());
  if (!open_file || *open_file != identity) return std::nullopt;
  std::optional<LiveStore> store = live_store_from_summary(reader, *summary);
  if (!store || !live_store_open(*store, session_id)) return std::nullopt;
  return store;
}

// Brings the recorder up to date with the chains file. False when nothing
// can be recorded safely now: the file exists but cannot be examined or read
// (it is left alone), something that is not a regular file stands at its
// path, or it cannot be read as a store and could not be moved out of the
// way.
bool load(StoreRecorder& r, const std::string& path, const std::string& session_id, int64_t now) {
  PathKind kind = platform_path_kind(path.c_str());
  std::optional<FileIdentity> identity;
  if (kind == PathKind::regular) identity = platform_file_identity(path.c_str());
  if (r.valid && r.path == path && identity && *identity == r.identity) {
    r.TEST_last_source = StoreRecorder::Source::kept;
    return true;
  }
  r.valid = false;
  r.store = LiveStore{};
  r.TEST_last_source = StoreRecorder::Source::nothing;
  if (kind == PathKind::missing) return true;  // no file yet, or deleted: the empty store
  if (!identity) return false;

  // Another server's recording (or this server's first) usually left a
  // summary that describes the file exactly.
  if (std::optional<LiveStore> store = load_through_summary(path, *identity, session_id)) {
    r.store = std::move(*store);
    r.TEST_last_source = StoreRecorder::Source::summary;
    return true;
  }

  FileReader reader(path.c_str(), READ_FILE_MAX);
  std::optional<std::vector<Chain>> chains;
  switch (reader.status()) {
    case FileOpen::missing:
      return true;  // deleted since it was examined
    case FileOpen::oversized:
      break;  // a regular file over the read cap is no store it can read
    case FileOpen::ok: {
      FileInput input(reader);
      chains = read_chains(input);
      // A failed read says nothing about the file: it stays as it is.
      if (reader.failed()) return false;
      break;
    }
    default:
      return false;  // cannot be opened or sized now: left alone
  }
  if (!chains) {
    // A file read whole that is not a store (an empty one, a torn one, one
    // over the read cap) holds what the user may still want: keep it under
    // a name that says what it is, and start a new store.
    return move_aside(path, now).has_value();
  }
  r.store = live_store_from(std::move(*chains));
  r.TEST_last_source = StoreRecorder::Source::file;
  return true;
}

// The summary of the store as just written, at `identity`.
StoreSummary summary_of(const LiveStore& store, const FileIdentity& identity) {
  StoreSummary s;
  s.store = identity;
  uint64_t offset = STORE_OPEN.size();
  for (const LiveChain& c : store.chains) {
    SummaryChain entry;
    entry.offset = offset;
    entry.length = c.text.size();
    entry.totals = c.totals;
    entry.record = c.record;
    s.chains.push_back(std::move(entry));
    offset += c.text.size() + 1;
  }
  return s;
}

// Writes the pending thoughts into the store; true when they are in the
// file (or none of them can ever be stored) and the list is empty again.
bool write_pending(StoreRecorder& r, const std::string& session_id) {
  const std::string dir = state_dir();
  if (!make_state_dir(dir)) return false;
  const std::string path = chains_path(dir);
  // Something else at the path (a FIFO, a directory) is left alone, and
  // nothing is created beside it.
  if (platform_path_kind(path.c_str()) == PathKind::other) return false;
  // The lock file stays beside the chains file for good: locking the chains
  // file itself would not work, since every recording replaces it. The lock
  // covers the whole read-modify-write and the summary, so that two servers
  // sharing the directory never lose each other's thoughts, a clear is never
  // undone by a recording in flight, and the summary is never written for a
  // file that has already been replaced.
  std::optional<FileLock> lock = FileLock::acquire(store_lock_path(path).c_str(), RECORD_LOCK_WAIT_MS);
  if (!lock) return false;

  if (!load(r, path, session_id, platform_time())) return false;
  bool recorded = false;
  for (const StoredThought& t : r.pending) {
    // Each keeps the time it was accepted; one too large to be stored at
    // all is left out rather than emptying the store for it.
    if (live_store_record(r.store, session_id, t, t.at, READ_FILE_MAX)) recorded = true;
  }
  if (!recorded) {
    r.pending.clear();
    return true;
  }
  std::optional<FileIdentity> written;
  if (!replace_store_file(path, live_store_pieces(r.store), &written)) {
    // Not written: the file is as it was, and the store is read afresh next
    // time, when the thoughts are recorded again.
    r.valid = false;
    r.store = LiveStore{};
    return false;
  }
  r.pending.clear();
  if (!written) {
    // Replaced by someone else at once: read it afresh next time.
    r.valid = false;
    r.store = LiveStore{};
    return true;
  }
  r.valid = true;
  r.path = path;
  r.identity = *written;
  // Only a cache: a reader trusts it only whole and only while the chains
  // file has the identity it names, so a failure here, or a crash, costs
  // speed, never an answer.
  Buf summary;
  summary_text(summary, summary_of(r.store, *written));
  write_cache_file(summary_path(path), summary.view());
  return true;
}

}  // namespace

void persist_thought(StoreRecorder& r, const char* session_id, const Thought& thought) {
  r.pending.push_back(stored_thought_from(thought, platform_time()));
  if (r.pending.size() > static_cast<size_t>(MAX_THOUGHTS_EACH)) r.pending.erase(r.pending.begin());
  write_pending(r, session_id);
}

void persist_pending(StoreRecorder& r, const char* session_id) {
  if (!r.pending.empty()) write_pending(r, session_id);
}
