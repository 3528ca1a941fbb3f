// The "stats" action: totals over the stored chains and the store's limits.
#pragma once

#include "web/answer.h"

// Reads the chains file afresh (store_totals) and answers the totals (chains, thoughts,
// branches, revisions, last_activity) and the limits, or "state unreadable"
// when the file exists but does not parse. Reads only; the history limit's
// warning, if any, goes to err.
void api_stats(Buf& body, const Request& request, FILE* err);
