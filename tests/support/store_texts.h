// Chains files as text, for fixtures: no code of the program is used, so
// the black-box suite may build its stores with them too.
#pragma once

#include <string>
#include <vector>

namespace store_texts {

// {"chains":[CHAINS]}: a whole store around chain objects already joined
// by commas.
std::string store_text(const std::string& chains);

// A thought object that the readers accept, not the written form:
// {"thought":"TEXT","thought_number":1,"total_thoughts":1,"next_needed":true MORE,"at":5}.
// TEXT and MORE are inserted as they are (escape what needs it).
std::string thought_object(const std::string& text, const std::string& more = "");

// A chain object: {"id":"ID","started_at":1,"updated_at":2,"thoughts":[THOUGHTS] MORE}.
std::string chain_object(const std::string& id, const std::string& thoughts, const std::string& more = "");

// One thought object exactly as the program writes it: number n of total,
// next_needed true, recorded at `at`, no optional member.
std::string written_thought(const std::string& text, long long n, long long total, long long at);

// One chain object exactly as the program writes it, around thought objects
// in the written form that open no branch ("branches" is empty).
std::string written_chain(const std::string& id, long long started_at, long long updated_at,
                          const std::vector<std::string>& thoughts);

}  // namespace store_texts
