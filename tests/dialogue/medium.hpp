// A small real distribution for dialogue tests: a table of contents in
// exact columns and tar archives made from a staging tree.
#pragma once

#include <string>
#include <vector>

#include "support/testmedium.hpp"

class Medium : public TestMedium {
 public:
  // Two categories, default "all" both:
  //   1 Base system: required Runtime (bin/run), Tools (dir tools with two
  //     files, archive 01), Libraries (lib/x.so, archive 02)
  //   2 Documentation: Guide (doc/guide.txt, 02), FAQ (doc/faq.txt, 03)
  Medium();

  // The files a full load puts into the installation directory.
  static std::vector<std::string> Files();
  // Copies the staging files into the installation directory.
  void Populate(const std::vector<std::string>& files) const;
};
