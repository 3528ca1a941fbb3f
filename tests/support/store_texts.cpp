#include "support/store_texts.h"

namespace store_texts {

// (Appended piece by piece: optimised GCC 12 warns falsely (-Wrestrict)
// about a chain of + on strings.)

std::string store_text(const std::string& chains) {
  return std::string("{\"chains\":[").append(chains).append("]}");
}

std::string thought_object(const std::string& text, const std::string& more) {
  std::string s = R"({"thought":")";
  s.append(text).append(R"(","thought_number":1,"total_thoughts":1,"next_needed":true)");
  return s.append(more).append(R"(,"at":5})");
}

std::string chain_object(const std::string& id, const std::string& thoughts, const std::string& more) {
  std::string s = R"({"id":")";
  s.append(id).append(R"(","started_at":1,"updated_at":2,"thoughts":[)").append(thoughts).append("]");
  return s.append(more).append("}");
}

std::string written_thought(const std::string& text, long long n, long long total, long long at) {
  std::string s = R"({"thought":")";
  s.append(text).append(R"(","thought_number":)").append(std::to_string(n));
  s.append(R"(,"total_thoughts":)").append(std::to_string(total));
  return s.append(R"(,"next_needed":true,"at":)").append(std::to_string(at)).append("}");
}

std::string written_chain(const std::string& id, long long started_at, long long updated_at,
                          const std::vector<std::string>& thoughts) {
  std::string s = R"({"id":")";
  s.append(id).append(R"(","started_at":)").append(std::to_string(started_at));
  s.append(R"(,"updated_at":)").append(std::to_string(updated_at)).append(R"(,"thoughts":[)");
  for (size_t i = 0; i < thoughts.size(); ++i) s.append(i ? "," : "").append(thoughts[i]);
  return s.append(R"(],"count":)").append(std::to_string(thoughts.size())).append(R"(,"branches":[]})");
}

}  // namespace store_texts
