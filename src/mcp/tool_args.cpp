#include "mcp/tool_args.h"

#include "common/buf.h"
#include "common/text.h"
#include "mcp/coerce.h"

namespace {

// An optional argument: absent or null both mean "not given".
JsonVal optional_member(JsonVal args, std::string_view name) {
  JsonVal v = json_member(args, name);
  return json_is_null(v) ? JsonVal{} : v;
}

bool fail(std::string& message, const char* text) {
  message = text;
  return false;
}

bool positive_int(JsonVal v, int64_t& out) {
  int64_t n = 0;
  if (!val_int(v, n) || n < 1) return false;
  out = n;
  return true;
}

}  // namespace

bool read_thought(JsonVal args, Thought& out, std::string& message) {
  Thought t;
  if (!json_is_object(args)) return fail(message, "Invalid thought: must be a string");

  JsonVal thought = json_member(args, "thought");
  std::string_view text = up_to_nul(json_str(thought));
  if (!json_is_string(thought) || text.empty()) return fail(message, "Invalid thought: must be a string");
  if (text.size() > MAX_THOUGHT_BYTES) {
    Buf b;
    buf_addf(b, "Invalid thought: too long (max %d bytes)", static_cast<int>(MAX_THOUGHT_BYTES));
    message = b.view();
    return false;
  }
  t.thought = text;

  if (!val_bool(json_member(args, "nextThoughtNeeded"), t.nextThoughtNeeded)) {
    return fail(message, "Invalid nextThoughtNeeded: must be a boolean");
  }
  if (!positive_int(json_member(args, "thoughtNumber"), t.thoughtNumber)) {
    return fail(message, "Invalid thoughtNumber: must be a number");
  }
  if (!positive_int(json_member(args, "totalThoughts"), t.totalThoughts)) {
    return fail(message, "Invalid totalThoughts: must be a number");
  }
  if (JsonVal v = optional_member(args, "isRevision"); v && !val_bool(v, t.isRevision)) {
    return fail(message, "Invalid isRevision: must be a boolean");
  }
  if (JsonVal v = optional_member(args, "revisesThought"); v && !positive_int(v, t.revisesThought)) {
    return fail(message, "Invalid revisesThought: must be a number");
  }
  if (JsonVal v = optional_member(args, "branchFromThought"); v && !positive_int(v, t.branchFromThought)) {
    return fail(message, "Invalid branchFromThought: must be a number");
  }
  if (JsonVal v = optional_member(args, "branchId")) {
    if (!json_is_string(v)) return fail(message, "Invalid branchId: must be a string");
    std::string_view id = up_to_nul(json_str(v));
    if (id.size() > MAX_BRANCH_ID_BYTES) {
      Buf b;
      buf_addf(b, "Invalid branchId: too long (max %d bytes)", static_cast<int>(MAX_BRANCH_ID_BYTES));
      message = b.view();
      return false;
    }
    t.branchId = std::string(id);
  }
  if (JsonVal v = optional_member(args, "needsMoreThoughts"); v && !val_bool(v, t.needsMoreThoughts)) {
    return fail(message, "Invalid needsMoreThoughts: must be a boolean");
  }

  if (t.totalThoughts < t.thoughtNumber) t.totalThoughts = t.thoughtNumber;
  out = std::move(t);
  return true;
}
