#include "web/api_clear.h"

#include <cstring>
#include <optional>
#include <string>

#include "common/buf.h"
#include "common/platform.h"
#include "store/state_dir.h"
#include "store/summary.h"
#include "web/answer.h"
#include "web/body_field.h"
#include "web/query.h"

namespace {

constexpr size_t kConfirmCapacity = 16;

bool remove_store_file(const char* path) {
  bool missing = false;
  if (platform_remove(path, &missing) || missing) return true;
  // A read-only file: one retry once it is writable again, and only while
  // it exists.
  if (!platform_make_writable(path)) return false;
  return platform_remove(path, &missing) || missing;
}

}  // namespace

void api_clear_action(Buf& body, const Request& request, FILE* /*err*/) {
  char confirm[kConfirmCapacity] = "";
  bool from_body = json_str_field(request.body, "confirm", confirm, sizeof confirm);
  if (!from_body && *request.query) get_query_val(request.query, "confirm", confirm, sizeof confirm);
  if (std::strcmp(confirm, "1") != 0 && std::strcmp(confirm, "true") != 0) {
    api_err(body, "confirm=1 required");
    return;
  }
  api_clear(body);
}

void api_clear(Buf& body) {
  const std::string path = chains_path();
  std::optional<FileLock> lock;
  if (platform_path_kind(path.c_str()) != PathKind::missing) {
    bool busy = false;
    lock = FileLock::acquire(store_lock_path(path).c_str(), CLEAR_LOCK_WAIT_MS, &busy);
    if (busy) {
      api_err(body, "store busy");
      return;
    }
    // A lock file that cannot be made at all (a read-only directory) leaves
    // the removal to succeed or fail on its own.
  }
  if (!remove_store_file(path.c_str())) {
    api_err(body, "remove failed");
    return;
  }
  // The summary goes with the file it describes. One left behind (it could
  // not be removed) describes a file that is gone and is never trusted
  // again, so it does not change the answer.
  remove_store_file(summary_path(path).c_str());
  buf_str(body, "{\"ok\":true,\"cleared\":true}");
}
