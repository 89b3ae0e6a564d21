#include "support/inprocess.hpp"

#include <unistd.h>

#include <cstdlib>

#include "common/exitrequest.hpp"
#include "common/settings.hpp"
#include "driver/farewell.hpp"
#include "messages/catalogue.hpp"
#include "messages/print.hpp"
#include "system/workingfiles.hpp"

void UseEnglishMessages() {
  std::string en = "en";
  LoadMessages(en, ".", "C");
}

Outcome RunUnit(const std::function<void()>& unit, const std::string& input) {
  Outcome outcome;
  StdioCapture io(input);
  try {
    unit();
  } catch (const ExitRequest& request) {
    SayFarewell();
    outcome.status = request.status;
  }
  outcome.out = io.Output();
  return outcome;
}

ScopedVariable::ScopedVariable(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* before = std::getenv(name_.c_str())) before_ = before;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedVariable::~ScopedVariable() {
  if (before_) {
    setenv(name_.c_str(), before_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

void InProcessTest::SetUp() {
  UseEnglishMessages();
  ASSERT_TRUE(MakeWorkingFiles(ReadSettings().tmpdir));
}

void InProcessTest::TearDown() {
  if (!saved_cwd_.empty()) {
    EXPECT_EQ(chdir(saved_cwd_.c_str()), 0);
  }
  RemoveWorkingFiles();
}

void InProcessTest::WorkIn(const std::string& dir) {
  if (saved_cwd_.empty()) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    saved_cwd_ = cwd;
  }
  ASSERT_EQ(chdir(dir.c_str()), 0);
}
