// A small real distribution for dialogue tests: a table of contents in
// exact columns, tar archives made from a staging tree, an installation
// directory to start in and a private TMPDIR to check for leftovers.
#pragma once

#include <string>
#include <vector>

#include "support/runbinary.hpp"
#include "support/tempdir.hpp"

class Medium {
 public:
  // Two categories, default "all" both:
  //   1 Base system: required Runtime (bin/run), Tools (dir tools with two
  //     files, archive 01), Libraries (lib/x.so, archive 02)
  //   2 Documentation: Guide (doc/guide.txt, 02), FAQ (doc/faq.txt, 03)
  Medium();

  std::string cdrom() const { return root_ / "cdrom"; }
  std::string inst() const { return inst_; }    // canonical start directory
  std::string tmp() const { return root_ / "tmp"; }
  std::string root() const { return root_.path(); }

  // Runs the installer from the installation directory with `input`.
  RunResult Run(const std::string& option, const std::string& input) const;

  // The files a full load puts into the installation directory.
  static std::vector<std::string> Files();
  // Copies the staging files into the installation directory.
  void Populate(const std::vector<std::string>& files) const;

 private:
  TempDir root_;
  std::string inst_;
};

// A description field as the listings print it: 54 columns.
std::string Pad(const std::string& description);

// Output with the free-space figure replaced by "N".
std::string MaskSpace(const std::string& out);

extern const std::string kGreeting;
extern const std::string kMountPrompt;
std::string InstallPrompt(const std::string& start);
