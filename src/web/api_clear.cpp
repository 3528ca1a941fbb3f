#include "web/api_clear.h"

#include <cstring>
#include <string>

#include "common/buf.h"
#include "common/platform.h"
#include "store/state_dir.h"
#include "web/answer.h"
#include "web/body_field.h"
#include "web/query.h"

namespace {

constexpr size_t kConfirmCapacity = 16;

bool remove_chains_file(const char* path) {
  bool missing = false;
  if (platform_remove(path, &missing) || missing) return true;
  // A read-only file: one retry once it is writable again, and only while
  // it exists.
  if (!platform_make_writable(path)) return false;
  return platform_remove(path, &missing) || missing;
}

}  // namespace

void api_clear_action(FILE* out, const Request& request) {
  char confirm[kConfirmCapacity] = "";
  bool from_body = request.body && json_str_field(request.body, "confirm", confirm, sizeof confirm);
  if (!from_body && *request.query) get_query_val(request.query, "confirm", confirm, sizeof confirm);
  if (std::strcmp(confirm, "1") != 0 && std::strcmp(confirm, "true") != 0) {
    api_err(out, "confirm=1 required");
    return;
  }
  api_clear(out);
}

void api_clear(FILE* out) {
  if (!remove_chains_file(chains_path().c_str())) {
    api_err(out, "remove failed");
    return;
  }
  Buf body;
  buf_str(body, "{\"ok\":true,\"cleared\":true}");
  api_answer(out, body);
}
