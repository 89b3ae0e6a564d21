// A fresh set of working files and the English messages for each test of
// the catalogue units.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/exitrequest.hpp"
#include "system/workingfiles.hpp"
#include "messages/print.hpp"
#include "support/stdio_capture.hpp"
#include "support/tempdir.hpp"
#include "support/tocwriter.hpp"

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string en = "en";
    LoadMessages(en, ".", "C");
    ASSERT_TRUE(MakeWorkingFiles());
  }
  void TearDown() override { RemoveWorkingFiles(); }

  TempDir dir_;
};

// The status with which `call` ended the run through the exit routine, or
// -1 when it returned.
template <typename Fn>
int ExitStatusOf(Fn call) {
  try {
    call();
  } catch (const ExitRequest& request) {
    return request.status;
  }
  return -1;
}

// Runs `call` with `input` on standard input and returns what it printed.
// The capture ends before the caller checks anything, so that a failure
// message reaches the test's own output.
template <typename Fn>
std::string Captured(const std::string& input, Fn call) {
  StdioCapture io(input);
  call();
  return io.Output();
}
