#include "store/persist.h"

#include <string>

#include "common/buf.h"
#include "common/file.h"
#include "store/chains_text.h"
#include "store/file_input.h"
#include "store/make_state_dir.h"
#include "store/read_store.h"
#include "store/state_dir.h"
#include "store/store_file.h"
#include "store/summary.h"

namespace {

// The store through the summary of a file this program wrote: only the
// session's chain is read as JSON, the others are taken as they stand.
// Nothing when there is no summary for exactly this file.
std::optional<LiveStore> load_through_summary(const std::string& path, const FileIdentity& identity,
                                              const std::string& session_id) {
  std::optional<StoreSummary> summary = read_summary(summary_path(path));
  if (!summary || summary->store != identity) return std::nullopt;
  FileReader reader(path.c_str(), READ_FILE_MAX);
  std::optional<FileIdentity> open_file;
  if (reader.status() == FileOpen::ok) open_file = platform_file_identity(reader.file());
  if (!open_file || *open_file != identity) return std::nullopt;
  std::optional<LiveStore> store = live_store_from_summary(reader, *summary);
  if (!store || !live_store_open(*store, session_id)) return std::nullopt;
  return store;
}

// Brings the recorder up to date with the chains file. False when this
// thought cannot be recorded safely now: the file exists but cannot be read
// (it is left alone), or it cannot be read as a store and could not be
// moved out of the way.
bool load(StoreRecorder& r, const std::string& path, const std::string& session_id, int64_t now) {
  std::optional<FileIdentity> identity = platform_file_identity(path.c_str());
  if (r.valid && r.path == path && identity && *identity == r.identity) {
    r.last_source = StoreRecorder::Source::kept;
    return true;
  }
  r.valid = false;
  r.store = LiveStore{};
  r.last_source = StoreRecorder::Source::nothing;
  if (!identity) return true;  // no file yet, or deleted: the empty store

  // Another server's recording (or this server's first) usually left a
  // summary that describes the file exactly.
  if (std::optional<LiveStore> store = load_through_summary(path, *identity, session_id)) {
    r.store = std::move(*store);
    r.last_source = StoreRecorder::Source::summary;
    return true;
  }

  std::optional<std::vector<Chain>> chains;
  // A regular file over the read cap is no store this program can read;
  // anything else that cannot be read (a directory, say) is left alone.
  if (identity->size <= READ_FILE_MAX) {
    FileReader reader(path.c_str(), READ_FILE_MAX);
    if (reader.status() == FileOpen::missing) return true;  // deleted since it was examined
    if (reader.status() != FileOpen::ok) return false;
    FileInput input(reader);
    chains = read_store(input);
    // A failed read says nothing about the file: it stays as it is.
    if (reader.failed()) return false;
  }
  if (!chains) {
    // A file that is not a store (an empty one, a torn one, one over the
    // read cap) holds what the user may still want: keep it under a name
    // that says what it is, and start a new store.
    return move_aside(path, now).has_value();
  }
  r.store = live_store_from(std::move(*chains));
  r.last_source = StoreRecorder::Source::file;
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

}  // namespace

void persist_thought(StoreRecorder& r, const char* session_id, const Thought& thought) {
  const std::string dir = state_dir();
  if (!make_state_dir(dir)) return;
  const std::string path = chains_path(dir);
  // The lock file stays beside the chains file for good: locking the chains
  // file itself would not work, since every recording replaces it. The lock
  // covers the whole read-modify-write and the summary, so that two servers
  // sharing the directory never lose each other's thoughts and the summary
  // is never written for a file that has already been replaced.
  std::optional<FileLock> lock = FileLock::acquire((path + ".lock").c_str());
  if (!lock) return;

  int64_t now = platform_time();
  if (!load(r, path, session_id, now)) return;
  if (!live_store_record(r.store, session_id, stored_thought_from(thought, now), now, READ_FILE_MAX)) {
    // Too large to be stored at all; the file and the recorder stay as they are.
    return;
  }
  std::optional<FileIdentity> written;
  if (!replace_store_file(path, live_store_pieces(r.store), &written) || !written) {
    // Not written, or replaced by someone else at once: read it afresh next time.
    r.valid = false;
    r.store = LiveStore{};
    return;
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
}
