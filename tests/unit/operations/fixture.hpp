// A distribution and an installation directory for the operation tests;
// the test runs inside the installation directory.
#pragma once

#include <string>
#include <vector>

#include "common/tocformat.hpp"
#include "support/inprocess.hpp"
#include "system/workingfiles.hpp"

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
