#include "support/unwritable_dir.h"

#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

// Whether a new file can still be made in the directory (it is removed
// again at once).
bool can_create_in(const std::string& dir) {
  const std::string probe = (fs::path(dir) / ".write-probe").string();
  FILE* f = std::fopen(probe.c_str(), "wb");
  if (!f) return false;
  std::fclose(f);
  std::remove(probe.c_str());
  return true;
}

bool chattr(const std::string& flag, const std::string& dir) {
  return std::system(("chattr " + flag + " '" + dir + "' 2>/dev/null").c_str()) == 0;
}

}  // namespace

UnwritableDir::UnwritableDir(std::string dir) : dir_(std::move(dir)) {
  std::error_code error;
  mode_ = fs::status(dir_, error).permissions();
  if (error) return;
  fs::permissions(dir_, static_cast<fs::perms>(0555), error);
  if (!error && !can_create_in(dir_)) {
    read_only_ = true;
    return;
  }
  fs::permissions(dir_, mode_, error);
  if (!chattr("+i", dir_)) return;
  if (can_create_in(dir_)) {
    chattr("-i", dir_);
    return;
  }
  immutable_ = true;
}

UnwritableDir::~UnwritableDir() {
  if (immutable_) chattr("-i", dir_);
  std::error_code ignored;
  if (read_only_) fs::permissions(dir_, mode_, ignored);
}

const char* UnwritableDir::how() const {
  if (read_only_) return "read-only mode";
  if (immutable_) return "immutable attribute";
  return "neither a read-only mode nor the immutable attribute stops writes here";
}
