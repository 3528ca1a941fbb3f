#include "store/load_chains.h"

#include <cstring>
#include <string>

#include "common/file.h"
#include "store/state_dir.h"

std::optional<JsonDoc> load_chains() {
  std::string text;
  if (!read_file(chains_path().c_str(), text)) return json_parse(R"({"chains":[]})");
  return json_parse(std::string_view(text.c_str(), std::strlen(text.c_str())));
}
