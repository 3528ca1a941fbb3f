// The ownership of a FileLock; taking and dropping the lock itself is
// platform code (acquire and release).
#include "common/platform.h"

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

FileLock::~FileLock() { release(); }
