// The endpoint's password gate.
#pragma once

#include <string_view>

// The answer to a request without the right password (150 bytes).
inline constexpr std::string_view REFUSAL_ANSWER =
    "Status: 401 Unauthorized\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "\r\n"
    "{\"ok\":false,\"error\":\"invalid node password\"}\n";

// True when the request may go on: BOT_PASSWORD is unset or empty, or the
// request carries it in the X-Bot-Password header, as the bearer token of
// the Authorization header, or as the query parameter "pwd" (tried in this
// order; any one suffices).
bool gate_passes(const char* query);

// Equality of two texts whose running time does not depend on where they
// first differ.
bool same_secret(std::string_view given, std::string_view secret);
