#include "common/json.h"

#include <cstring>
#include <memory>

#include "common/json_reading.h"
#include "common/json_value.h"

using json_library::val_of;
using json_library::value_of;

struct JsonDoc::Impl {
  rapidjson::Document doc;
};

JsonDoc::JsonDoc(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
JsonDoc::JsonDoc(JsonDoc&&) noexcept = default;
JsonDoc& JsonDoc::operator=(JsonDoc&&) noexcept = default;
JsonDoc::~JsonDoc() = default;

JsonVal JsonDoc::root() const { return val_of(&impl_->doc); }

std::optional<JsonDoc> json_parse(std::string_view text) {
  auto impl = std::make_unique<JsonDoc::Impl>();
  // The document takes the reader's events through Populate, which builds
  // the tree from them as its own Parse would.
  bool parsed = false;
  auto read = [&](rapidjson::Document& doc) { return parsed = json_library::read_text(text, doc); };
  impl->doc.Populate(read);
  if (!parsed) return std::nullopt;
  return JsonDoc(std::move(impl));
}

bool json_is_object(JsonVal v) { return v && value_of(v)->IsObject(); }
bool json_is_array(JsonVal v) { return v && value_of(v)->IsArray(); }
bool json_is_string(JsonVal v) { return v && value_of(v)->IsString(); }
bool json_is_null(JsonVal v) { return v && value_of(v)->IsNull(); }
bool json_is_bool(JsonVal v) { return v && value_of(v)->IsBool(); }
bool json_is_true(JsonVal v) { return v && value_of(v)->IsTrue(); }
bool json_is_int(JsonVal v) { return v && (value_of(v)->IsInt64() || value_of(v)->IsUint64()); }
bool json_is_real(JsonVal v) { return v && value_of(v)->IsNumber() && !json_is_int(v); }

int64_t json_int(JsonVal v) {
  if (!json_is_int(v)) return 0;
  return value_of(v)->IsInt64() ? value_of(v)->GetInt64() : static_cast<int64_t>(value_of(v)->GetUint64());
}

double json_real(JsonVal v) { return json_is_real(v) ? value_of(v)->GetDouble() : 0.0; }

std::string_view json_str(JsonVal v) {
  if (!json_is_string(v)) return {};
  return {value_of(v)->GetString(), value_of(v)->GetStringLength()};
}

size_t json_size(JsonVal v) {
  if (json_is_object(v)) return value_of(v)->MemberCount();
  if (json_is_array(v)) return value_of(v)->Size();
  return 0;
}

namespace {

bool key_is(const rapidjson::Value& name, std::string_view key) {
  return name.GetStringLength() == key.size() && std::memcmp(name.GetString(), key.data(), key.size()) == 0;
}

}  // namespace

JsonVal json_member(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return {};
  for (const auto& m : value_of(object)->GetObject()) {
    if (key_is(m.name, key)) return val_of(&m.value);
  }
  return {};
}

std::optional<size_t> json_member_index(JsonVal object, std::string_view key) {
  if (!json_is_object(object)) return std::nullopt;
  size_t i = 0;
  for (const auto& m : value_of(object)->GetObject()) {
    if (key_is(m.name, key)) return i;
    ++i;
  }
  return std::nullopt;
}
