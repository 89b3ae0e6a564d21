// A distribution and an installation directory for the operation tests;
// the test runs inside the installation directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "common/exitrequest.hpp"
#include "system/workingfiles.hpp"
#include "messages/print.hpp"
#include "support/runbinary.hpp"
#include "support/stdio_capture.hpp"
#include "support/tempdir.hpp"
#include "support/tocwriter.hpp"

struct Outcome {
  std::string out;
  int status = -1;  // -1: returned normally; otherwise the exit status
};

class OperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string en = "en";
    LoadMessages(en, ".", "C");
    ASSERT_TRUE(MakeWorkingFiles());
    MakeDirs(dist_);
    MakeDirs(inst_);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    saved_cwd_ = cwd;
    ASSERT_EQ(chdir(inst_.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(saved_cwd_.c_str()), 0);
    RemoveWorkingFiles();
  }

  // Runs an operation with `input` on standard input.
  Outcome Run(const std::function<void()>& operation, const std::string& input = "") {
    StdioCapture io(input);
    Outcome outcome;
    try {
      operation();
    } catch (const ExitRequest& request) {
      outcome.status = request.status;
    }
    outcome.out = io.Output();
    return outcome;
  }

  void WritePak(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    WriteFile(PAK, text);
  }

  // Packs `members` of directory `from` into `archive` (gzip-compressed when
  // `gzip`), with /bin/tar itself.
  static void Pack(const std::string& archive, const std::string& from,
                   const std::vector<std::string>& members, bool gzip = false) {
    std::vector<std::string> args = {gzip ? "czf" : "cf", archive, "-C", from};
    args.push_back("--");
    args.insert(args.end(), members.begin(), members.end());
    ASSERT_EQ(RunBinary("/bin/tar", args, {}).status, 0);
  }

  TempDir root_;
  std::string dist_ = root_ / "dist";
  std::string inst_ = root_ / "inst";
  std::string saved_cwd_;
};
