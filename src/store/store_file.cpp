#include "store/store_file.h"

namespace {

bool exists(const std::string& path) { return platform_file_identity(path.c_str()).has_value(); }

void remove_quietly(const std::string& path) {
  bool missing = false;
  platform_remove(path.c_str(), &missing);
}

}  // namespace

bool replace_store_file(const std::string& path, const std::vector<std::string_view>& pieces,
                        std::optional<FileIdentity>* written) {
  std::string tmp = path + ".tmp";
  std::optional<FileIdentity> before;
  // Without the sync a crash after the rename could leave the new name on
  // an empty or partly written file.
  bool ok = platform_write_file(tmp.c_str(), pieces, true, &before) &&
            platform_replace_file(tmp.c_str(), path.c_str());
  if (!ok) {
    remove_quietly(tmp);
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

bool replace_store_file(const std::string& path, std::string_view text) {
  return replace_store_file(path, std::vector<std::string_view>{text});
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
