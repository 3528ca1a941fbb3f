// The "info" action: the plug-in's identity, its tool with both schemas,
// the state directory and the limits.
#pragma once

#include "web/answer.h"

// Answers the info. Opens nothing and has no error answer; the
// history limit's warning, if any, goes to err.
void api_info(Buf& body, const Request& request, FILE* err);
