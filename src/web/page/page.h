// The viewer page: its header block and body.
#pragma once

#include <cstdio>

// Writes the page's CGI header block and the HTML document.
void page_write(FILE* out);
