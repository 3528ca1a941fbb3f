// What every JSON answer of the web endpoint shares: the action's handler
// type, the error answer and the one writer of the header block and body.
#pragma once

#include <cstdio>
#include <string_view>

#include "web/request.h"

struct Buf;

// One JSON action: appends the answer's body (the JSON text alone, without
// headers or the final LF) for the request; a warning (the history limit's)
// goes to err. The caller writes the answer (api_answer).
using ApiHandler = void (*)(Buf& body, const Request& request, FILE* err);

// Replaces whatever the body holds with {"ok":false,"error":MESSAGE}, the
// message escaped as a JSON string.
void api_err(Buf& body, const char* message);

// Writes the CGI header block of every JSON answer (137 bytes, with no
// Status line, so the server reports 200 for errors too), the body and one
// LF, composed first and written in one piece.
void api_answer(FILE* out, const Buf& body);

// Writes a refusal that carries its status: the line "Status: " + status
// (such as "403 Forbidden"), the line "Allow: " + allow when allow is not
// empty, then the JSON header block and {"ok":false,"error":MESSAGE} with
// one LF, in one piece.
void api_refuse(FILE* out, std::string_view status, std::string_view allow, const char* message);
