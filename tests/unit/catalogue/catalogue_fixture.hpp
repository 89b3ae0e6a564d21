// A fresh set of working files and the English messages for each test of
// the catalogue units.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/installc.hpp"
#include "messages/print.hpp"
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
