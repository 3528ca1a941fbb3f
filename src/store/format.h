// The chains file ("chains.json"), the store's one format: the writer
// (store/format_write.h) writes it exactly, the walker
// (store/format_walk.h) reads any JSON text leniently, and the summary
// (store/summary.h) points into it by byte offsets.
//
// As written: compact JSON, the members in this order and no others.
//   {"chains":[CHAIN,CHAIN,...]}
//   CHAIN   = {"id":STRING,"started_at":INT,"updated_at":INT,
//              "thoughts":[THOUGHT,THOUGHT,...],"count":INT,"branches":[STRING,...]}
//   THOUGHT = {"thought":STRING,"thought_number":INT,"total_thoughts":INT,
//              "next_needed":BOOL[,"is_revision":true][,"revises":INT]
//              [,"branch_from":INT][,"branch_id":STRING][,"needs_more":true],
//              "at":INT}
// One chain holds the thoughts of one MCP session, oldest first; the times
// are seconds since 1970-01-01 UTC. "count" and "branches" are derived from
// the thoughts when written and never read back. No string holds a NUL.
// The chain objects stand one after another between STORE_OPEN and
// STORE_CLOSE, one comma apart.
#pragma once

#include <string_view>

inline constexpr std::string_view STORE_OPEN = "{\"chains\":[";
inline constexpr std::string_view STORE_CLOSE = "]}";
