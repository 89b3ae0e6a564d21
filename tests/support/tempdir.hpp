// A scratch directory for one test, removed with everything in it.
#pragma once

#include <map>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Small file helpers for tests.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);  // lstat succeeds
void MakeDirs(const std::string& path);
// The names in `dir` in the order its listing gives them (the order the
// installer meets them in), and sorted.
std::vector<std::string> ListingOrder(const std::string& dir);
std::vector<std::string> ListDir(const std::string& dir);

// Everything below `root` by relative path: "D" for a directory, "L:" and
// the target for a link, "F:" ("Fx:" when executable) and the content for a
// file. With `modes`, every entry but a link ends with " " and its mode in
// octal.
std::map<std::string, std::string> Snapshot(const std::string& root, bool modes = false);
