// What a JsonVal views: a value of the JSON library's document tree. For the
// files that build or walk documents (json.cpp, json_for_tests.cpp).
#pragma once

#include <rapidjson/document.h>

#include "common/json.h"

namespace json_library {

inline const rapidjson::Value* value_of(JsonVal v) { return static_cast<const rapidjson::Value*>(v.raw); }
inline JsonVal val_of(const rapidjson::Value* v) { return JsonVal{v}; }

}  // namespace json_library
