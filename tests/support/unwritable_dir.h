// Makes a directory unwritable for the life of the guard, for whoever runs
// the tests. A read-only mode (0555) stops an ordinary user; root, whom the
// mode does not stop, gets the immutable attribute (chattr +i) where the
// file system allows it. Each is kept only when creating a file in the
// directory then really fails. Files already in the directory stay
// writable in place.
#pragma once

#include <filesystem>
#include <string>

class UnwritableDir {
 public:
  explicit UnwritableDir(std::string dir);
  ~UnwritableDir();
  UnwritableDir(const UnwritableDir&) = delete;
  UnwritableDir& operator=(const UnwritableDir&) = delete;

  // False when neither way works here; the directory is then as it was.
  bool on() const { return read_only_ || immutable_; }
  // Which way is in force, for messages.
  const char* how() const;

 private:
  std::string dir_;
  std::filesystem::perms mode_{};
  bool read_only_ = false;
  bool immutable_ = false;
};
