// Whether an entry path of the table of contents stays inside the
// installation directory (the current directory), so that neither loading
// nor removal reaches anything outside it.
#pragma once

#include <string>
#include <string_view>

class Containment {
 public:
  // Takes the current directory as the installation directory.
  Containment();

  // False for a path that is empty, absolute or has a ".." component, and
  // for one whose parent directory, as it stands on disk now, resolves
  // outside the installation directory (through a symbolic link). The path
  // itself may be a symbolic link: what happens to it stays inside.
  bool Allows(std::string_view path);

 private:
  bool ParentInside(const std::string& parent) const;

  std::string root_;
  // Entries come grouped by directory, so the verdict for the last parent
  // directory is kept. A caller that changes the disk makes a new one.
  std::string last_parent_;
  bool last_verdict_ = false;
  bool has_last_ = false;
};
