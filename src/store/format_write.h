// The writer of the chains file (store/format.h). It is exact: compact
// JSON, the members in a fixed order, optional thought members left out when
// they do not hold, and the derived "count" and "branches" members computed
// afresh.
#pragma once

#include <string_view>
#include <vector>

#include "common/buf.h"
#include "store/chain.h"
#include "store/format.h"

// The whole store: STORE_OPEN, the chains separated by commas, STORE_CLOSE.
void chains_text(Buf& out, const std::vector<Chain>& chains);

// One chain object. A chain without an id is written with the empty id.
void chain_text(Buf& out, const Chain& chain);

// The parts of a chain object, for writers that keep the thoughts' texts:
// chain_head_text, the thoughts separated by commas, chain_tail_text.
void chain_head_text(Buf& out, const Chain& chain);
void stored_thought_text(Buf& out, const StoredThought& thought);
void chain_tail_text(Buf& out, const Chain& chain);

// The branch ids that start branches in the chain, in thought order: a
// thought contributes its branch id when it has one, branches from a thought
// (branch_from is not 0), and no earlier thought of the chain carries the
// same id at all, whether or not that earlier thought branched.
std::vector<std::string_view> chain_branches(const Chain& chain);
