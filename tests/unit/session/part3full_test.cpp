#include "session/part3full.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <optional>

#include "support/tempdir.hpp"

namespace {

// The expansion with the base directory and home directory given.
std::string Full(const std::string& input, std::optional<std::string> pwd,
                 std::optional<std::string> home = std::nullopt) {
  Settings settings;
  settings.pwd = std::move(pwd);
  settings.home = std::move(home);
  return part3full(input, settings);
}

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
    EXPECT_EQ(Full(row.input, row.base), row.result) << row.base << " + " << row.input;
  }
}

TEST(PathExpansion, EmptyZulpwdIsTheRootAndUnsetMeansTheCurrentDirectory) {
  EXPECT_EQ(Full("./x", ""), "/x");
  EXPECT_EQ(Full("a/b", ""), "/a/b");
  TempDir dir;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  std::string here = Full("./x.toc", std::nullopt);
  ASSERT_EQ(chdir(old), 0);
  char real[4096];
  ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
  EXPECT_EQ(here, std::string(real) + "/x.toc");
}

TEST(PathExpansion, HomeDirectories) {
  const std::string home = "/home/op";
  EXPECT_EQ(Full("~/t", "/", home), "/home/op/t");
  EXPECT_EQ(Full("~", "/", home), "/home/op");
  struct passwd* root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Full("~root/t", "/", home), std::string(root->pw_dir) + "/t");
  EXPECT_EQ(Full("~root", "/", home), std::string(root->pw_dir));
  EXPECT_EQ(Full("~nosuchuser42", "/", home), "~nosuchuser42");
  EXPECT_EQ(Full("~nosuchuser42/t", "/", home), "~nosuchuser42/t");
  EXPECT_EQ(Full("~", "/"), "~");
  EXPECT_EQ(Full("~/t", "/"), "~/t");
}
