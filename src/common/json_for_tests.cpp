// The document's test seams (see json.h). Kept in a file of their own: the
// program calls neither, so its link leaves this file out of the executable.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <vector>

#include "common/json.h"
#include "common/json_value.h"

using json_library::val_of;
using json_library::value_of;

JsonVal json_at(JsonVal array, size_t i) {
  if (!json_is_array(array) || i >= value_of(array)->Size()) return {};
  return val_of(&(*value_of(array))[static_cast<rapidjson::SizeType>(i)]);
}

std::optional<std::string> json_write(JsonVal v) {
  if (!v) return std::nullopt;
  rapidjson::StringBuffer out;
  rapidjson::Writer<rapidjson::StringBuffer> writer(out);

  // An explicit stack of open containers, so that a deeply nested value
  // cannot exhaust the call stack.
  struct Open {
    const rapidjson::Value* container;
    rapidjson::SizeType next;
  };
  std::vector<Open> stack;
  const rapidjson::Value* value = value_of(v);
  for (;;) {
    if (value) {
      bool ok = true;
      switch (value->GetType()) {
        case rapidjson::kNullType:
          ok = writer.Null();
          break;
        case rapidjson::kFalseType:
          ok = writer.Bool(false);
          break;
        case rapidjson::kTrueType:
          ok = writer.Bool(true);
          break;
        case rapidjson::kStringType:
          ok = writer.String(value->GetString(), value->GetStringLength());
          break;
        case rapidjson::kNumberType:
          if (value->IsInt64())
            ok = writer.Int64(value->GetInt64());
          else if (value->IsUint64())
            ok = writer.Uint64(value->GetUint64());
          else
            ok = writer.Double(value->GetDouble());
          break;
        case rapidjson::kObjectType:
          ok = writer.StartObject();
          stack.push_back({value, 0});
          break;
        case rapidjson::kArrayType:
          ok = writer.StartArray();
          stack.push_back({value, 0});
          break;
      }
      if (!ok) return std::nullopt;
      value = nullptr;
    }
    if (stack.empty()) break;
    Open& top = stack.back();
    if (top.container->IsObject()) {
      if (top.next == top.container->MemberCount()) {
        if (!writer.EndObject()) return std::nullopt;
        stack.pop_back();
        continue;
      }
      const auto& m = top.container->MemberBegin()[top.next++];
      if (!writer.Key(m.name.GetString(), m.name.GetStringLength())) return std::nullopt;
      value = &m.value;
    } else {
      if (top.next == top.container->Size()) {
        if (!writer.EndArray()) return std::nullopt;
        stack.pop_back();
        continue;
      }
      value = &(*top.container)[top.next++];
    }
  }
  return std::string(out.GetString(), out.GetSize());
}
