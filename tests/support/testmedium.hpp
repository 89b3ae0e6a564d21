// A distribution that a test writes itself, beside the directories a run
// of the installer needs: root/cdrom (the distribution), root/staging (what
// its archives are made from), root/inst (the installation directory and
// the directory the installer starts in) and root/tmp (its TMPDIR, where no
// working file may be left after a run).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/process.hpp"
#include "support/tempdir.hpp"

class TestMedium {
 public:
  TestMedium();

  std::string root() const { return root_.path(); }
  std::string cdrom() const { return root_ / "cdrom"; }
  std::string staging() const { return root_ / "staging"; }
  std::string inst() const { return inst_; }  // canonical
  std::string tmp() const { return root_ / "tmp"; }

  // Writes the table of contents (cdrom/01.toc).
  void Toc(const std::string& text) const;
  // A file in the staging tree, with directories as needed.
  void Stage(const std::string& path, const std::string& content) const;
  // cdrom/<code>.tar from members of `from` (default: the staging tree).
  void Archive(const std::string& code, const std::vector<std::string>& members,
               const std::string& from = "") const;

  // The options of a run in the installation directory with root/tmp as TMPDIR.
  RunOptions Options() const;
  // A copy of the installer in root/ that the other user can run (the build
  // may lie in a directory only root can reach); its path.
  std::string InstallerForOtherUser() const;
  // Runs the installer with `option` and `input` to its end.
  RunResult Run(const std::string& option, const std::string& input,
                const std::map<std::string, std::optional<std::string>>& env = {}) const;

 private:
  TempDir root_;
  std::string inst_;
};
