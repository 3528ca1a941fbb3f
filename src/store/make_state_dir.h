// Creating the state directory before the first recording.
#pragma once

#include <string>

// Creates every missing ancestor of dir from the top down, then dir itself,
// and tells whether dir is now a directory. A prefix of one or two bytes is
// never created: that passes over a drive letter with its colon, the
// leading separators of a network path, and a relative first component of
// one or two characters. Separators are the slash, and on Windows also the
// backslash.
bool make_state_dir(const std::string& dir);
