// The "chains" action: a summary record of every stored chain.
#pragma once

#include <string_view>

#include "web/answer.h"

// Reads the chains file afresh (store_list) and answers
// {"ok":true,"plugin":...,"count":N,"state_dir_name":...,"chains":[...]},
// or "state unreadable" when the file exists but does not parse. Reads
// only.
void api_chains(Buf& body, const Request& request, FILE* err);

// The last component of a state directory: what follows its last "/", else
// its last "\", else the whole text; at most 127 bytes.
std::string_view state_dir_name(std::string_view dir);
