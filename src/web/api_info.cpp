#include "web/api_info.h"

#include <string>

#include "common/buf.h"
#include "common/descriptors.h"
#include "store/files.h"
#include "store/limits.h"
#include "web/answer.h"

void api_info(Buf& body, const Request& /*request*/, FILE* err) {
  const std::string dir = state_dir();
  buf_str(body, "{\"ok\":true,\"plugin\":\"");
  buf_add(body, VELTRANE_PROGRAM);
  buf_str(body, "\",\"slug\":\"");
  buf_add(body, VELTRANE_SLUG);
  buf_str(body, "\",\"version\":\"");
  buf_add(body, VELTRANE_VERSION);
  buf_str(body, "\",");
  buf_add(body, VELTRANE_META_FLAGS);
  buf_str(body, ",\"tools\":[\"");
  buf_add(body, VELTRANE_TOOL_NAME);
  buf_str(body, "\"],\"tool_schema\":");
  buf_add(body, VELTRANE_TOOL_SCHEMA);
  buf_str(body, ",\"tool_output_schema\":");
  buf_add(body, VELTRANE_TOOL_OUTPUT);
  buf_str(body, ",\"state_dir\":");
  json_escape_buf(body, dir);
  buf_addf(body, ",\"max_chains\":%d,\"max_thoughts_each\":%d,\"max_thought_history\":%lld}", MAX_CHAINS,
           MAX_THOUGHTS_EACH, static_cast<long long>(read_max_history(err)));
}
