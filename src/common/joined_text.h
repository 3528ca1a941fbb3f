// Fixed texts made of other fixed texts, joined at compile time, so that a
// piece shared by several texts is written down once and none of them is
// built at run time.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

template <const std::string_view&... Parts>
struct JoinedText {
  static constexpr std::array<char, (Parts.size() + ... + 0)> bytes = [] {
    std::array<char, (Parts.size() + ... + 0)> joined{};
    size_t at = 0;
    for (std::string_view part : {Parts...}) {
      for (char c : part) joined[at++] = c;
    }
    return joined;
  }();
};

// The parts, which must be constants with static storage, one after the
// other: joined_text<A, B, C> is a view of one array in the program's image.
template <const std::string_view&... Parts>
inline constexpr std::string_view joined_text{JoinedText<Parts...>::bytes.data(),
                                              JoinedText<Parts...>::bytes.size()};
