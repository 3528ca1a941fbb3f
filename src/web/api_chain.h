// The "chain" action: one stored chain, whole.
#pragma once

#include "web/answer.h"

// True when the id has 1 to 64 bytes, each an ASCII letter or digit, "-"
// or "_".
bool chain_id_valid(const char* id);

// Takes the id from the body's member "id" (a string, integer or boolean),
// else from the query parameter "id"; answers "invalid chain id" (without
// reading the store), "state unreadable", "chain not found", or the stored
// chain with "ok":true as its first member. Reads only.
void api_chain(Buf& body, const Request& request, FILE* err);
