// Every file of the chain store, in one place: the state directory, the
// chains file and the names beside it, and the ways they are written, kept
// and removed. Everything is computed afresh from the environment at each
// call.
//
// Beside the chains file "<chains>" (its path) stand:
//   <chains>.lock                 the store's lock, never renamed or removed:
//                                 whoever changes the chains file holds it
//   <chains>.tmp                  the next version while it is written
//   <chains>.summary              the summary for the web's reads (store/summary.h)
//   <chains>.unreadable-<time>    a file found where the store should be that
//   <chains>.unreadable-<time>-<n>  was no store, kept for the user
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform.h"

// The state directory: VELTRANE_STATE_DIR, else LOCALAPPDATA's
// tavrokin\connectors\plugin_veltrane, else HOME's (or /root's)
// .tavrokin/connectors/plugin_veltrane. Empty variables count as unset.
// Cut to its first 999 bytes.
std::string state_dir();

// Creates every missing ancestor of dir from the top down, then dir itself,
// and tells whether dir is now a directory. A prefix of one or two bytes is
// never created: that passes over a drive letter with its colon, the
// leading separators of a network path, and a relative first component of
// one or two characters. Separators are the slash, and on Windows also the
// backslash.
bool make_state_dir(const std::string& dir);

// The state directory, the separator and "chains.json".
std::string chains_path();
std::string chains_path(const std::string& state_dir);

// The names beside the chains file (see above).
std::string store_lock_path(const std::string& chains_path);
std::string store_temp_path(const std::string& chains_path);
std::string summary_path(const std::string& chains_path);

// Replaces the chains file with exactly these bytes, the pieces one after
// another, so that at every moment, a crash or power cut included, the path
// holds either the previous file or the new one in full:
//   1. write "<path>.tmp" (created, or truncated when left over),
//   2. flush it to the disk (fsync) before it can take the file's place,
//   3. close it, checking the close,
//   4. rename it over the path in one step, then make the rename itself
//      durable (the directory's entry is flushed too).
// False when any step failed; the temporary file is then removed and the
// file at path is untouched. On success *written (when given) receives the
// identity of the file now at path, as long as it is still the file written
// here (same device, inode and size as the temporary file had), else
// nothing.
bool replace_store_file(const std::string& path, const std::vector<std::string_view>& pieces,
                        std::optional<FileIdentity>* written = nullptr);

// Writes these bytes over the file at path, in place and without syncing
// anything: for a file that is only a cache, which its readers check whole
// before they trust it, so that a reader who meets it half written (or a
// crash that leaves it so) only loses the cache. False when a step failed.
bool write_cache_file(const std::string& path, std::string_view text);

// Renames the file at path to "<path>.unreadable-<now>" (or, when that name
// is taken, "<path>.unreadable-<now>-<n>" with the smallest free n from 1),
// so that it is kept. The new name, or nothing when the rename failed.
std::optional<std::string> move_aside(const std::string& path, int64_t now);

// How long a clear waits for the store's lock: a recording of a full store
// takes a small part of it.
inline constexpr int64_t CLEAR_LOCK_WAIT_MS = 5000;

enum class ClearResult {
  cleared,  // the chains file is gone (or was not there)
  busy,     // the lock stayed busy: nothing was removed
  failed,   // the chains file could not be removed
};

// Removes the chains file and its summary and nothing else, holding the
// store's lock, so that a recording in flight finishes first and the next
// recording starts from nothing; a missing file counts as cleared, and then
// nothing is locked or created. When the lock stays busy for
// CLEAR_LOCK_WAIT_MS, removes nothing. A removal that fails for another
// reason is retried once after the file has been made writable. Only the
// chains file decides the result: a summary left behind describes a file
// that is gone and is never trusted again.
ClearResult store_clear(const std::string& chains_path);
