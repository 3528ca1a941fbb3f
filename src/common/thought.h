// One accepted thought of the tool, as the session log keeps it and the
// chain store records it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct Thought {
  std::string thought;                  // never empty once accepted
  int64_t thoughtNumber = 0;            // at least 1
  int64_t totalThoughts = 0;            // at least thoughtNumber
  int64_t revisesThought = 0;           // 0 when not given
  int64_t branchFromThought = 0;        // 0 when not given
  std::optional<std::string> branchId;  // may be the empty string
  bool isRevision = false;
  bool nextThoughtNeeded = false;
  bool needsMoreThoughts = false;

  // A thought opens a branch when it names both where and which.
  bool carries_branch() const { return branchFromThought != 0 && branchId.has_value(); }

  bool operator==(const Thought&) const = default;
};
