// What every JSON answer of the web endpoint shares: its header block and
// the error answer.
#pragma once

#include <cstdio>
#include <string_view>

struct Buf;

// The CGI header block of every JSON answer (107 bytes). It has no Status
// line, so the server reports 200 for errors too.
inline constexpr std::string_view JSON_HEADERS =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "\r\n";

// Writes the JSON header block.
void json_headers(FILE* out);

// Writes the header block and {"ok":false,"error":MESSAGE} with a LF, the
// message escaped as a JSON string.
void api_err(FILE* out, const char* message);

// Writes the header block, the assembled body and one LF, in one piece.
void api_answer(FILE* out, const Buf& body);
