// The viewer page "Thought Chains": its CGI header block and its document.
#pragma once

#include <cstdio>
#include <string_view>

// The header block of the page answer: no Status line (the web server's
// default applies) and no Content-Length; every line ends in CR LF. The
// security policy lets the document run only its own inline scripts and
// styles and talk only to its own origin; the page sends no address to
// anyone it links to, and a window of another origin that opened it keeps
// no handle on it.
inline constexpr std::string_view PAGE_HEADERS =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: SAMEORIGIN\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
    "style-src 'unsafe-inline'; img-src data:; connect-src 'self'; form-action 'none'; "
    "base-uri 'none'\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cross-Origin-Opener-Policy: same-origin\r\n"
    "\r\n";

// Writes the header block and the page's document, the one the build
// assembles from the files of src/web/page/, in one write. The page is
// static: nothing in it depends on the request or the store, so it is
// served without the password gate; every action it calls is behind it. Write errors are
// not reported; the web server sees a short answer.
void page_write(FILE* out);
