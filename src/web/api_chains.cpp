#include "web/api_chains.h"

#include <cinttypes>
#include <string>

#include "common/buf.h"
#include "common/json.h"
#include "store/load_chains.h"
#include "store/state_dir.h"
#include "web/answer.h"

namespace {

constexpr size_t kDirNameMax = 127;
constexpr size_t kHeadMax = 160;

// Appends a string value that may hold NUL bytes; json_escape_buf ends at
// the first NUL, as every text of the answers does.
void add_string(Buf& b, std::string_view s) { json_escape_buf(b, std::string(s).c_str()); }

int64_t int_member(JsonVal chain, const char* key) {
  JsonVal v = json_member(chain, key);
  return json_is_int(v) ? json_int(v) : 0;
}

void add_record(Buf& b, JsonVal chain) {
  JsonVal id = json_member(chain, "id");
  JsonVal thoughts = json_member(chain, "thoughts");
  JsonVal branches = json_member(chain, "branches");
  // json_size gives 0 for a member that is absent or not an array.
  const size_t thought_count = json_is_array(thoughts) ? json_size(thoughts) : 0;

  buf_str(b, "{\"id\":");
  add_string(b, json_is_string(id) ? json_str(id) : std::string_view());
  buf_addf(b, ",\"started_at\":%lld,\"updated_at\":%lld,\"thoughts\":%zu,\"branches\":[",
           static_cast<long long>(int_member(chain, "started_at")),
           static_cast<long long>(int_member(chain, "updated_at")), thought_count);
  const size_t branch_count = json_is_array(branches) ? json_size(branches) : 0;
  for (size_t i = 0; i < branch_count; ++i) {
    JsonVal branch = json_at(branches, i);
    if (i > 0) buf_str(b, ",");
    add_string(b, json_is_string(branch) ? json_str(branch) : std::string_view());
  }
  buf_str(b, "],\"last_head\":");
  std::string_view head;
  if (thought_count > 0) {
    JsonVal text = json_member(json_at(thoughts, thought_count - 1), "thought");
    if (json_is_string(text)) head = thought_head(json_str(text));
  }
  add_string(b, head);
  buf_addf(b, ",\"truncated\":%s}",
           thought_count >= static_cast<size_t>(MAX_THOUGHTS_EACH) ? "true" : "false");
}

}  // namespace

std::string_view state_dir_name(std::string_view dir) {
  size_t cut = dir.rfind('/');
  if (cut == std::string_view::npos) cut = dir.rfind('\\');
  std::string_view name = cut == std::string_view::npos ? dir : dir.substr(cut + 1);
  return name.substr(0, kDirNameMax);
}

std::string_view thought_head(std::string_view text) {
  return text.substr(0, text.find('\n')).substr(0, kHeadMax);
}

void api_chains(FILE* out) {
  auto doc = load_chains();
  if (!doc) {
    api_err(out, "state unreadable");
    return;
  }
  JsonVal chains = json_member(doc->root(), "chains");
  const size_t count = json_is_array(chains) ? json_size(chains) : 0;
  const std::string dir = state_dir();

  // The whole answer is assembled before anything is written.
  Buf body;
  buf_addf(body, "{\"ok\":true,\"plugin\":\"plugin_veltrane\",\"count\":%zu,\"state_dir_name\":", count);
  add_string(body, state_dir_name(dir));
  buf_str(body, ",\"chains\":[");
  bool first = true;
  for (size_t i = 0; i < count; ++i) {
    JsonVal chain = json_at(chains, i);
    if (!json_is_object(chain)) continue;
    if (!first) buf_str(body, ",");
    first = false;
    add_record(body, chain);
  }
  buf_str(body, "]}");
  api_answer(out, body);
}
