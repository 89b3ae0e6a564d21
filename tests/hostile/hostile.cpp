#include "hostile/hostile.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

HostileMedium::HostileMedium() {
  MakeDirs(root() + "/outside");
  outside_ = std::filesystem::canonical(root() + "/outside").string();
  WriteFile(outside_ + "/marker", "untouched\n");
}

std::string HostileMedium::PathWithGunzip(const std::string& script) const {
  MakeDirs(root() + "/bin");
  WriteFile(root() + "/bin/gunzip", "#!/bin/sh\n" + script);
  EXPECT_EQ(chmod((root() + "/bin/gunzip").c_str(), 0755), 0);
  return root() + "/bin:" + std::string(getenv("PATH"));
}

std::vector<std::string> HostileMedium::OutsideTree() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(outside_)) {
    names.push_back(std::filesystem::relative(entry.path(), outside_).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string AcceptAll(const std::string& cdrom, int categories) {
  return cdrom + "\n\n" + std::string(categories, '\n') + "\n\n";
}
