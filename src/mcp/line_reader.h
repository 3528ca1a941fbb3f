// Splitting an input stream into request lines.
#pragma once

#include <cstdio>
#include <string>

// Reads the next line from in into line: its bytes up to and including the
// LF, or up to the end of input for a last line without one. Any byte value
// may occur; there is no length limit but memory. False at end of input
// (nothing was read).
bool read_line(FILE* in, std::string& line);
