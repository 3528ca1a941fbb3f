// The chains file on disk: replacing it durably, writing the summary beside
// it, and keeping a file that cannot be read as a store out of the way
// without losing it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform.h"

// Replaces the file at path with exactly these bytes, the pieces one after
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
bool replace_store_file(const std::string& path, std::string_view text);

// Writes these bytes over the file at path, in place and without syncing
// anything: for a file that is only a cache, which its readers check whole
// before they trust it, so that a reader who meets it half written (or a
// crash that leaves it so) only loses the cache. False when a step failed.
bool write_cache_file(const std::string& path, std::string_view text);

// Renames the file at path to "<path>.unreadable-<now>" (or, when that name
// is taken, "<path>.unreadable-<now>-<n>" with the smallest free n from 1),
// so that it is kept. The new name, or nothing when the rename failed.
std::optional<std::string> move_aside(const std::string& path, int64_t now);
