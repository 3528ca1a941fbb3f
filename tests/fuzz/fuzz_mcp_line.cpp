// Feeds arbitrary bytes to the MCP server as its input stream and checks
// that every answer it writes is one complete JSON text ending in a LF.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/json.h"
#include "mcp/server.h"

namespace {

// Nothing is recorded and no console lines are written while fuzzing.
const bool kQuiet = [] {
  setenv("DISABLE_THOUGHT_LOGGING", "true", 1);
  unsetenv("MAX_THOUGHT_HISTORY");
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)kQuiet;
  if (size == 0) return 0;  // fmemopen needs at least one byte
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!in) return 0;
  char* out_bytes = nullptr;
  size_t out_size = 0;
  FILE* out = open_memstream(&out_bytes, &out_size);
  FILE* err = std::fopen("/dev/null", "wb");
  if (!out || !err) std::abort();
  run_mcp(in, out, err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);

  std::string_view answers(out_bytes, out_size);
  if (!answers.empty() && answers.back() != '\n') std::abort();
  while (!answers.empty()) {
    size_t end = answers.find('\n');
    std::string_view line = answers.substr(0, end);
    if (line.empty() || !json_parse(line) || line.front() != '{') std::abort();
    answers.remove_prefix(end + 1);
  }
  std::free(out_bytes);
  return 0;
}
