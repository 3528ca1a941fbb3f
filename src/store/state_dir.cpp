#include "store/state_dir.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>

#include "common/platform.h"

namespace {

constexpr size_t kStateDirMax = 999;

const char* env_set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
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

std::string chains_path() { return chains_path(state_dir()); }

std::string chains_path(const std::string& dir) { return dir + PATH_SEPARATOR + "chains.json"; }

int64_t read_max_history(FILE* err) {
  const char* value = std::getenv("MAX_THOUGHT_HISTORY");
  if (!value) return DEFAULT_MAX_HISTORY;
  while (*value == ' ' || *value == '\t') ++value;
  if (!*value) return DEFAULT_MAX_HISTORY;
  bool digits_only = true;
  for (const char* p = value; *p; ++p) {
    if (*p < '0' || *p > '9') digits_only = false;
  }
  if (digits_only) {
    errno = 0;
    // Too many digits saturate to the largest value, which is accepted.
    intmax_t n = std::strtoimax(value, nullptr, 10);
    if (n > 0) return static_cast<int64_t>(n);
  }
  std::fprintf(err, "MAX_THOUGHT_HISTORY must be a positive integer, got \"%s\"; using %d\n", value,
               static_cast<int>(DEFAULT_MAX_HISTORY));
  return DEFAULT_MAX_HISTORY;
}

std::string store_lock_path(const std::string& chains_path) { return chains_path + ".lock"; }
