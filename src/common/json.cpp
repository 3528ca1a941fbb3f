#include "common/json.h"

#include <rapidjson/document.h>
#include <rapidjson/error/error.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstring>
#include <vector>

struct JsonDoc::Impl {
  rapidjson::Document doc;
};

JsonDoc::JsonDoc(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
JsonDoc::JsonDoc(JsonDoc&&) noexcept = default;
JsonDoc& JsonDoc::operator=(JsonDoc&&) noexcept = default;
JsonDoc::~JsonDoc() = default;

JsonVal JsonDoc::root() const { return JsonVal{static_cast<const rapidjson::Value*>(&impl_->doc)}; }

namespace {

// Strict standard JSON with valid UTF-8, parsed without recursion. Numbers
// take the library's normal-precision path: its full-precision path shifts
// by a count of leading zeros of a zero significand on some long inputs.
constexpr unsigned kParseFlags = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;

const rapidjson::Value* get(JsonVal v) { return static_cast<const rapidjson::Value*>(v.raw); }

JsonVal wrap(const rapidjson::Value* v) { return JsonVal{v}; }

int hex4(std::string_view s, size_t at) {
  if (at + 4 > s.size()) return -1;
  int v = 0;
  for (size_t i = at; i < at + 4; ++i) {
    char c = s[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// The reader decodes a "\uDC00".."\uDFFF" escape that does not follow a
// high surrogate escape into bytes that are not UTF-8; written out again,
// they would make the text unreadable. Such an escape is invalid JSON text.
bool has_lone_low_surrogate(std::string_view s) {
  bool after_high = false;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      after_high = false;
      ++i;
      continue;
    }
    int v = s[i + 1] == 'u' ? hex4(s, i + 2) : -1;
    if (v >= 0xDC00 && v <= 0xDFFF && !after_high) return true;
    after_high = v >= 0xD800 && v <= 0xDBFF;
    i += v >= 0 ? 6 : 2;
  }
  return false;
}

}  // namespace

std::optional<JsonDoc> json_parse(std::string_view text) {
  // The reader takes a NUL as the end of input and would accept what stands
  // before it; a NUL is never valid JSON text, so it fails here.
  if (std::memchr(text.data(), '\0', text.size())) return std::nullopt;
  if (has_lone_low_surrogate(text)) return std::nullopt;
  auto impl = std::make_unique<JsonDoc::Impl>();
  impl->doc.Parse<kParseFlags>(text.data(), text.size());
  if (impl->doc.HasParseError()) return std::nullopt;
  return JsonDoc(std::move(impl));
}

bool json_is_object(JsonVal v) { return v && get(v)->IsObject(); }
bool json_is_array(JsonVal v) { return v && get(v)->IsArray(); }
bool json_is_string(JsonVal v) { return v && get(v)->IsString(); }
bool json_is_null(JsonVal v) { return v && get(v)->IsNull(); }
bool json_is_bool(JsonVal v) { return v && get(v)->IsBool(); }
bool json_is_true(JsonVal v) { return v && get(v)->IsTrue(); }
bool json_is_int(JsonVal v) { return v && (get(v)->IsInt64() || get(v)->IsUint64()); }
bool json_is_real(JsonVal v) { return v && get(v)->IsNumber() && !json_is_int(v); }

int64_t json_int(JsonVal v) {
  if (!json_is_int(v)) return 0;
  return get(v)->IsInt64() ? get(v)->GetInt64() : static_cast<int64_t>(get(v)->GetUint64());
}

double json_real(JsonVal v) { return json_is_real(v) ? get(v)->GetDouble() : 0.0; }

std::string_view json_str(JsonVal v) {
  if (!json_is_string(v)) return {};
  return {get(v)->GetString(), get(v)->GetStringLength()};
}

size_t json_size(JsonVal v) {
  if (json_is_object(v)) return get(v)->MemberCount();
  if (json_is_array(v)) return get(v)->Size();
  return 0;
}

JsonVal json_at(JsonVal array, size_t i) {
  if (!json_is_array(array) || i >= get(array)->Size()) return {};
  return wrap(&(*get(array))[static_cast<rapidjson::SizeType>(i)]);
}

namespace {

bool key_is(const rapidjson::Value& name, std::string_view key) {
  return name.GetStringLength() == key.size() && std::memcmp(name.GetString(), key.data(), key.size()) == 0;
}

}  // namespace

JsonVal json_member(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return {};
  for (const auto& m : get(object)->GetObject()) {
    if (key_is(m.name, key)) return wrap(&m.value);
  }
  return {};
}

std::optional<size_t> json_member_index(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return std::nullopt;
  size_t i = 0;
  for (const auto& m : get(object)->GetObject()) {
    if (key_is(m.name, key)) return i;
    ++i;
  }
  return std::nullopt;
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
  const rapidjson::Value* value = get(v);
  for (;;) {
    if (value) {
      bool ok = true;
      switch (value->GetType()) {
        case rapidjson::kNullType: ok = writer.Null(); break;
        case rapidjson::kFalseType: ok = writer.Bool(false); break;
        case rapidjson::kTrueType: ok = writer.Bool(true); break;
        case rapidjson::kStringType: ok = writer.String(value->GetString(), value->GetStringLength()); break;
        case rapidjson::kNumberType:
          if (value->IsInt64()) ok = writer.Int64(value->GetInt64());
          else if (value->IsUint64()) ok = writer.Uint64(value->GetUint64());
          else ok = writer.Double(value->GetDouble());
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
