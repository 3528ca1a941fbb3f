// Whole-file reading with the program's size cap.
#pragma once

#include <cstddef>
#include <string>

// The largest file read_file reads: 8 MiB.
inline constexpr size_t READ_FILE_MAX = 8388608;

// Reads the whole file in binary mode into out. False, with out untouched,
// when the file cannot be opened, its size cannot be determined, or it is
// larger than READ_FILE_MAX. A short read is no failure: out holds what was
// read.
bool read_file(const char* path, std::string& out);
