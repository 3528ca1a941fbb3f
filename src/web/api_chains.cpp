#include "web/api_chains.h"

#include <string>

#include "common/buf.h"
#include "common/descriptors.h"
#include "store/files.h"
#include "store/reader.h"
#include "web/answer.h"

namespace {

constexpr size_t kDirNameMax = 127;

}  // namespace

std::string_view state_dir_name(std::string_view dir) {
  size_t cut = dir.rfind('/');
  if (cut == std::string_view::npos) cut = dir.rfind('\\');
  std::string_view name = cut == std::string_view::npos ? dir : dir.substr(cut + 1);
  return name.substr(0, kDirNameMax);
}

void api_chains(Buf& body, const Request& /*request*/, FILE* /*err*/) {
  const std::string dir = state_dir();
  StoreList list;
  if (store_list(chains_path(dir), list) != StoreStatus::ok) {
    api_err(body, "state unreadable");
    return;
  }
  buf_str(body, "{\"ok\":true,\"plugin\":\"");
  buf_add(body, VELTRANE_PROGRAM);
  buf_addf(body, "\",\"count\":%zu,\"state_dir_name\":", list.count);
  json_escape_buf(body, state_dir_name(dir));
  buf_str(body, ",\"chains\":[");
  buf_add(body, list.records);
  buf_str(body, "]}");
}
