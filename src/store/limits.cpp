#include "store/limits.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>

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
