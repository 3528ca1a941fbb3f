#include "store/make_state_dir.h"

#include "common/platform.h"

namespace {

bool is_separator(char c) { return c == '/' || (PATH_SEPARATOR == '\\' && c == '\\'); }

}  // namespace

bool make_state_dir(const std::string& dir) {
  for (size_t i = 3; i < dir.size(); ++i) {
    // Existing directories make these calls fail, which is expected; only
    // the final test below decides.
    if (is_separator(dir[i])) platform_mkdir(dir.substr(0, i).c_str());
  }
  platform_mkdir(dir.c_str());
  return platform_is_directory(dir.c_str());
}
