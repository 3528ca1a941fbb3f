// The one reader of the chains format (store/format.h): a single streaming
// pass over a JSON text that reports every element of the store's chain
// array, and every element of each chain's "thoughts", with the members the
// store's readers know. Collectors on it build what each reader needs (the
// recorder's Chain records, the web's list records and totals); the pass
// holds only the element at hand, so its memory stays small whatever the
// text's size.
//
// Lookups are lenient, and the same for every reader: the chain array is
// the root's first "chains" member when the root is an object and that
// member an array; every other member is its object's first member with the
// key, and a value of the wrong type counts as absent (only the literal true
// sets a flag). Unknown members, and containers where no known member can
// stand, are passed over by depth alone, so deep nesting costs no
// recursion. Strings are reported decoded, embedded NULs included: each
// collector applies its own rule for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file.h"
#include "common/json_stream.h"

// One element of a chain's "thoughts" array.
struct WalkThought {
  size_t index = 0;     // its position in the array, every element counted
  bool object = false;  // false: no object, and nothing below is set
  // The "thought" member's text, at most the walk's keep_text bytes of it:
  // a string beside a flag rather than an optional, so that its storage
  // serves thought after thought.
  bool has_text = false;
  std::string text;
  std::optional<int64_t> thought_number, total_thoughts, revises, branch_from, at;
  bool next_needed = false, is_revision = false, needs_more = false;
  std::optional<std::string> branch_id;
};

// One element of the chain array.
struct WalkChain {
  size_t index = 0;     // its position in the array, every element counted
  bool object = false;  // false: no object, and nothing below is set
  // The object's bytes in the text, from its opening brace to its closing
  // one: offset and length.
  uint64_t offset = 0, length = 0;
  std::optional<std::string> id;
  std::optional<int64_t> started_at, updated_at;
  size_t thoughts = 0;  // elements of its "thoughts" array
  // The elements of its "branches" array, one that is no string as the
  // empty string.
  std::vector<std::string> branches;
};

// Receives the elements in text order. A visitor may take the strings of
// what it is handed (move them out); the walk does not look at them again.
class ChainsVisitor {
 public:
  // An element of the "thoughts" array of the chain at hand, once it ends.
  virtual void thought(WalkThought& thought) = 0;
  // An element of the chain array, once it ends (after its thoughts).
  virtual void chain(WalkChain& chain) = 0;

  virtual ~ChainsVisitor() = default;
};

struct WalkOptions {
  JsonNul nul = JsonNul::fails;  // what a NUL byte in the text means
  // How many bytes of each thought's text are kept (reading a list needs
  // only the head of each); with 0 the text is not read at all, and
  // has_text stays false.
  size_t keep_text = SIZE_MAX;
  // Whether every member of a thought is read, or only "thought" and
  // "is_revision" (all that a list and the totals need): the others then
  // stay absent and are passed over like unknown members, which saves a
  // measurable part of the walk.
  bool every_thought_member = true;
};

struct WalkEnd {
  bool json = false;         // the whole text parsed (what was reported otherwise counts for nothing)
  bool chain_array = false;  // the text has a chain array
};

WalkEnd walk_chains(JsonInput& input, const WalkOptions& options, ChainsVisitor& visitor);
// A text in memory, in which a NUL byte fails the walk.
WalkEnd walk_chains(std::string_view text, ChainsVisitor& visitor);

// A file read in pieces (FileReader) as the text of a walk.
class FileInput final : public JsonInput {
 public:
  explicit FileInput(FileReader& reader) : reader_(reader) {}
  size_t read(char* into, size_t capacity) override { return reader_.read(into, capacity); }

 private:
  FileReader& reader_;
};
