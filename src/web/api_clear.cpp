#include "web/api_clear.h"

#include <cstring>

#include "common/buf.h"
#include "store/files.h"
#include "web/answer.h"
#include "web/body_field.h"
#include "web/query.h"

namespace {

constexpr size_t kConfirmCapacity = 16;

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
  switch (store_clear(chains_path())) {
    case ClearResult::busy:
      api_err(body, "store busy");
      return;
    case ClearResult::failed:
      api_err(body, "remove failed");
      return;
    case ClearResult::cleared:
      break;
  }
  buf_str(body, "{\"ok\":true,\"cleared\":true}");
}
