// Running the installer's own units inside the test process: the English
// messages and a fresh set of working files for each test, and a run of a
// unit with prepared standard input that ends as the program's top ends it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "support/stdio_capture.hpp"
#include "support/tempdir.hpp"

// The built-in English messages, active again (a farewell releases them).
void UseEnglishMessages();

// What a unit printed, and how it ended.
struct Outcome {
  std::string out;
  int status = -1;  // -1: it returned; otherwise the status it ended the run with
};

// Runs `unit` with `input` on standard input and collects its standard
// output. An exit request is caught as the top of the program catches it,
// with the farewell (which prints "Exiting...", removes the working files
// and releases the messages). The capture ends before the caller checks
// anything, so that a failure message reaches the test's own output.
Outcome RunUnit(const std::function<void()>& unit, const std::string& input = "");

// An environment variable set, or unset with nullopt, until the end of the
// scope; then as it was.
class ScopedVariable {
 public:
  ScopedVariable(std::string name, const std::optional<std::string>& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> before_;
};

class InProcessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes `dir` the current directory until the test ends.
  void WorkIn(const std::string& dir);

  TempDir dir_;

 private:
  std::string saved_cwd_;
};
