// A fresh directory under the system's temporary folder, removed with all it
// holds when the owner goes away.
#pragma once

#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // path() / name, as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for fixtures.
std::string read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::string& bytes);
