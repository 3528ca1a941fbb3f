// The program-wide rule for exhausted memory.
#pragma once

// Writes "out of memory" and a LF to stderr in one write and ends the
// process with status 1 (exit handlers run, streams are flushed).
[[noreturn]] void die_out_of_memory();
