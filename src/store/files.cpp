#include "store/files.h"

#include <cstdlib>

namespace {

constexpr size_t kStateDirMax = 999;

const char* env_set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool is_separator(char c) { return c == '/' || (PATH_SEPARATOR == '\\' && c == '\\'); }

bool exists(const std::string& path) { return platform_file_identity(path.c_str()).has_value(); }

// Removes the file; true when it is gone (or was never there). A read-only
// file gets one retry once it is writable again, and only while it exists.
bool remove_file(const std::string& path) {
  bool missing = false;
  if (platform_remove(path.c_str(), &missing) || missing) return true;
  if (!platform_make_writable(path.c_str())) return false;
  return platform_remove(path.c_str(), &missing) || missing;
}

}  // namespace

std::string state_dir() {
  std::string dir;
  if (const char* own = env_set("VELTRANE_STATE_DIR")) {
    dir = own;
  } else if (const char* local = env_set("LOCALAPPDATA")) {
    dir = std::string(local) + "\\tavrokin\\connectors\\plugin_veltrane";
  } else {
    const char* home = env_set("HOME");
    dir = std::string(home ? home : "/root") + "/.tavrokin/connectors/plugin_veltrane";
  }
  if (dir.size() > kStateDirMax) dir.resize(kStateDirMax);
  return dir;
}

bool make_state_dir(const std::string& dir) {
  for (size_t i = 3; i < dir.size(); ++i) {
    // Existing directories make these calls fail, which is expected; only
    // the final test below decides.
    if (is_separator(dir[i])) platform_mkdir(dir.substr(0, i).c_str());
  }
  platform_mkdir(dir.c_str());
  return platform_is_directory(dir.c_str());
}

std::string chains_path() { return chains_path(state_dir()); }

std::string chains_path(const std::string& dir) { return dir + PATH_SEPARATOR + "chains.json"; }

std::string store_lock_path(const std::string& chains_path) { return chains_path + ".lock"; }

std::string store_temp_path(const std::string& chains_path) { return chains_path + ".tmp"; }

std::string summary_path(const std::string& chains_path) { return chains_path + ".summary"; }

bool replace_store_file(const std::string& path, const std::vector<std::string_view>& pieces,
                        std::optional<FileIdentity>* written) {
  std::string tmp = store_temp_path(path);
  std::optional<FileIdentity> before;
  // Without the sync a crash after the rename could leave the new name on
  // an empty or partly written file.
  bool ok = platform_write_file(tmp.c_str(), pieces, true, &before) &&
            platform_replace_file(tmp.c_str(), path.c_str());
  if (!ok) {
    bool missing = false;
    platform_remove(tmp.c_str(), &missing);
    return false;
  }
  if (written) {
    // The rename itself may change the file's change time, so the identity
    // is taken from the path; it counts only while it is the same file.
    std::optional<FileIdentity> now = platform_file_identity(path.c_str());
    written->reset();
    if (now && before && now->device == before->device && now->inode == before->inode &&
        now->size == before->size)
      *written = now;
  }
  return true;
}

bool write_cache_file(const std::string& path, std::string_view text) {
  return platform_overwrite_file(path.c_str(), text);
}

std::optional<std::string> move_aside(const std::string& path, int64_t now) {
  std::string base = path + ".unreadable-" + std::to_string(now);
  std::string name = base;
  for (int n = 1; exists(name); ++n) {
    if (n > 1000) return std::nullopt;
    name = base + "-" + std::to_string(n);
  }
  if (!platform_rename(path.c_str(), name.c_str())) return std::nullopt;
  return name;
}

ClearResult store_clear(const std::string& chains_path) {
  std::optional<FileLock> lock;
  if (platform_path_kind(chains_path.c_str()) != PathKind::missing) {
    bool busy = false;
    lock = FileLock::acquire(store_lock_path(chains_path).c_str(), CLEAR_LOCK_WAIT_MS, &busy);
    if (busy) return ClearResult::busy;
    // A lock file that cannot be made at all (a read-only directory) leaves
    // the removal to succeed or fail on its own.
  }
  if (!remove_file(chains_path)) return ClearResult::failed;
  // The summary goes with the file it describes.
  remove_file(summary_path(chains_path));
  return ClearResult::cleared;
}
