// Reading one line from a stream under its lock, for the two platform files:
// each gives the system's own calls that lock a stream and read a byte from
// a stream already locked. No other file includes this one.
#pragma once

#include <cstdio>
#include <string>

// Holds the stream's lock for one line, released however the line ends
// (a line too long for memory ends it with std::bad_alloc).
template <void (*Lock)(FILE*), void (*Unlock)(FILE*)>
class StreamLock {
 public:
  explicit StreamLock(FILE* f) : f_(f) { Lock(f_); }
  ~StreamLock() { Unlock(f_); }
  StreamLock(const StreamLock&) = delete;
  StreamLock& operator=(const StreamLock&) = delete;

 private:
  FILE* f_;
};

// platform_read_line over a locked stream: get_byte() is the system's
// unlocked getc. Bytes are gathered in a local chunk and appended a chunk at
// a time.
template <class GetByte>
bool read_line_locked(GetByte get_byte, std::string& line) {
  line.clear();
  char chunk[4096];
  size_t n = 0;
  int c = 0;
  while ((c = get_byte()) != EOF) {
    chunk[n++] = static_cast<char>(c);
    if (c == '\n') break;
    if (n == sizeof chunk) {
      line.append(chunk, n);
      n = 0;
    }
  }
  line.append(chunk, n);
  return c != EOF || !line.empty();
}
