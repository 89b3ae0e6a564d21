// A distribution and an installation directory for the operation tests;
// the test runs inside the installation directory.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/tocformat.hpp"
#include "operations/installtarget.hpp"
#include "support/inprocess.hpp"
#include "system/workingfiles.hpp"

// The installation directory held, as the dialogue holds it, for one
// operation.
class HeldTarget {
 public:
  explicit HeldTarget(const std::string& dir)
      : target_{open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC),
                std::filesystem::canonical(dir).string()} {}
  ~HeldTarget() { close(target_.fd); }
  HeldTarget(const HeldTarget&) = delete;
  HeldTarget& operator=(const HeldTarget&) = delete;
  const InstallTarget& operator*() const { return target_; }

 private:
  InstallTarget target_;
};

class OperationsTest : public InProcessTest {
 protected:
  void SetUp() override {
    InProcessTest::SetUp();
    MakeDirs(dist_);
    MakeDirs(inst_);
    WorkIn(inst_);
  }

  void WritePak(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    WriteFile(PAK, text);
  }

  std::string dist_ = dir_ / "dist";
  std::string inst_ = dir_ / "inst";
};
