#include "store/store_file.h"

#include <cstdio>

#include "common/platform.h"

namespace {

bool exists(const std::string& path) { return platform_file_identity(path.c_str()).has_value(); }

}  // namespace

bool replace_store_file(const std::string& path, std::string_view text) {
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  // Without the sync a crash after the rename could leave the new name on
  // an empty or partly written file.
  ok = platform_sync_file(f) && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = platform_replace_file(tmp.c_str(), path.c_str());
  if (!ok) {
    bool missing = false;
    platform_remove(tmp.c_str(), &missing);
  }
  return ok;
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
