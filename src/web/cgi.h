// The web endpoint: one CGI request from the environment and `in`, one
// response on `out`.
#pragma once

#include <cstdio>

// Serves the request and returns the exit status (0). Warnings (the history
// limit's) go to `err`.
int run_web(FILE* in, FILE* out, FILE* err);
