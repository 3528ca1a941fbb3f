// Feeds arbitrary bytes to the MCP server, line by line as its loop reads
// them, and checks each line's outcome: no answer, or exactly one complete
// JSON object ending in a LF that carries the request's own top-level id.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/json.h"
#include "common/platform.h"
#include "mcp/dispatch.h"
#include "mcp/session.h"

namespace {

[[noreturn]] void fail(const char* why, std::string_view line, std::string_view answer) {
  std::fprintf(stderr, "%s\nline: %.*s\nanswer: %.*s\n", why, static_cast<int>(line.size()), line.data(),
               static_cast<int>(answer.size()), answer.data());
  std::abort();
}

// The answer's id must be the request's: the same string, or for a number
// the same integer (a fraction or an exponent is cut, so only integers are
// compared exactly).
void check_id(std::string_view line, JsonVal answer_id, std::string_view answer) {
  auto request = json_parse(line.substr(0, line.find('\0')));
  if (!request) fail("an answer to a line that is not JSON", line, answer);
  JsonVal asked = json_member(request->root(), "id");
  if (json_is_string(asked)) {
    if (!json_is_string(answer_id) || json_str(answer_id) != json_str(asked))
      fail("string id differs", line, answer);
  } else if (json_is_int(asked)) {
    if (!json_is_int(answer_id) || json_int(answer_id) != json_int(asked))
      fail("integer id differs", line, answer);
  } else if (!json_is_int(answer_id) && !json_is_real(answer_id)) {
    fail("id is not a number", line, answer);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen needs at least one byte
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  FILE* err = std::fopen("/dev/null", "wb");
  if (!in || !err) std::abort();
  // Built by hand so that nothing depends on the environment: never recorded.
  Session session;
  session.session_id = "th-fuzz-1";
  session.persist = false;

  std::string line;
  while (platform_read_line(in, line)) {
    char* out_bytes = nullptr;
    size_t out_size = 0;
    FILE* out = open_memstream(&out_bytes, &out_size);
    if (!out) std::abort();
    handle_line(line, session, out, err);
    std::fclose(out);
    std::string_view answer(out_bytes, out_size);
    if (!answer.empty()) {
      if (answer.back() != '\n' || answer.find('\n') != answer.size() - 1) fail("not one line", line, answer);
      auto doc = json_parse(answer);
      if (!doc || !json_is_object(doc->root())) fail("not a JSON object", line, answer);
      check_id(line, json_member(doc->root(), "id"), answer);
    }
    std::free(out_bytes);
  }
  std::fclose(in);
  std::fclose(err);
  return 0;
}
