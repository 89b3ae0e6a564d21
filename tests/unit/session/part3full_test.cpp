#include "session/part3full.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "support/tempdir.hpp"

namespace {

// Sets or unsets an environment variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct Row {
  const char* base;
  const char* input;
  const char* result;
};

}  // namespace

TEST(PathExpansion, RelativeFormsAgainstTheBaseDirectory) {
  const Row rows[] = {
      {"/u/w/x", "./a/b", "/u/w/x/a/b"},
      {"/u/w/x", "./", "/u/w/x/"},
      {"/u/w/x", "a/b", "/u/w/x/a/b"},
      {"/u/w/x", "../y", "/u/w/y"},
      {"/u/w/x", "../../y", "/u/y"},
      {"/u/w/x", "../..", "/u"},
      {"/u/w/x", "../../", "/u/"},
      {"/u", "../y", "/y"},
      {"/u/w/x", "..", "/u/w"},
      {"/u", "..", "/"},
      {"/", "..", "/"},
      {"/u/w/x", ".", "/u/w/x"},
      {"/u/w/x", "/opt/t.toc", "/opt/t.toc"},
      {"/u/w/x", "t.toc", "t.toc"},
      {"/u/w/x", ".t.toc", ".t.toc"},
      // Climbing above the root stops at the root.
      {"/u", "../../y", "/y"},
      {"/u", "../../..", "/"},
      // A name that merely begins with two dots is a file of the base.
      {"/u/w", "..x", "/u/w/..x"},
      {"/u/w", "../..x", "/u/..x"},
  };
  for (const Row& row : rows) {
    ScopedEnv base("ZULPWD", std::string(row.base));
    EXPECT_EQ(part3full(row.input), row.result) << row.base << " + " << row.input;
  }
}

TEST(PathExpansion, EmptyZulpwdIsTheRootAndUnsetMeansTheCurrentDirectory) {
  {
    ScopedEnv base("ZULPWD", std::string(""));
    EXPECT_EQ(part3full("./x"), "/x");
    EXPECT_EQ(part3full("a/b"), "/a/b");
  }
  ScopedEnv base("ZULPWD", std::nullopt);
  TempDir dir;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  std::string here = part3full("./x.toc");
  ASSERT_EQ(chdir(old), 0);
  char real[4096];
  ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
  EXPECT_EQ(here, std::string(real) + "/x.toc");
}

TEST(PathExpansion, HomeDirectories) {
  ScopedEnv home("HOME", std::string("/home/op"));
  EXPECT_EQ(part3full("~/t"), "/home/op/t");
  EXPECT_EQ(part3full("~"), "/home/op");
  struct passwd* root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(part3full("~root/t"), std::string(root->pw_dir) + "/t");
  EXPECT_EQ(part3full("~root"), std::string(root->pw_dir));
  EXPECT_EQ(part3full("~nosuchuser42"), "~nosuchuser42");
  EXPECT_EQ(part3full("~nosuchuser42/t"), "~nosuchuser42/t");
  ScopedEnv no_home("HOME", std::nullopt);
  EXPECT_EQ(part3full("~"), "~");
  EXPECT_EQ(part3full("~/t"), "~/t");
}
