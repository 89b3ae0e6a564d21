// Distributions whose table of contents and archives a test writes itself,
// with a directory beside them that no run may touch.
#pragma once

#include <string>
#include <vector>

#include "support/testmedium.hpp"

// A test medium and root/outside, which holds the file "marker".
class HostileMedium : public TestMedium {
 public:
  HostileMedium();

  std::string outside() const { return outside_; }
  // Writes `script` as root/bin/gunzip, a stand-in the installer finds
  // first; gives the PATH under which it does.
  std::string PathWithGunzip(const std::string& script) const;

  // Everything below root/outside, sorted.
  std::vector<std::string> OutsideTree() const;

 private:
  std::string outside_;
};

// The answers of a load that takes every default: mount point, installation
// directory, `categories` package questions, confirmation, list-files.
std::string AcceptAll(const std::string& cdrom, int categories = 1);
