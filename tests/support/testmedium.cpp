#include "support/testmedium.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/archives.hpp"

TestMedium::TestMedium() {
  MakeDirs(cdrom());
  MakeDirs(staging());
  MakeDirs(tmp());
  MakeDirs(root_ / "inst");
  inst_ = std::filesystem::canonical(root_ / "inst").string();
}

void TestMedium::Toc(const std::string& text) const { WriteFile(cdrom() + "/01.toc", text); }

void TestMedium::Stage(const std::string& path, const std::string& content) const {
  std::string full = staging() + "/" + path;
  MakeDirs(std::filesystem::path(full).parent_path());
  WriteFile(full, content);
}

void TestMedium::Archive(const std::string& code, const std::vector<std::string>& members,
                         const std::string& from) const {
  MakeTarArchive(cdrom() + "/" + code + ".tar", from.empty() ? staging() : from, members);
}

RunOptions TestMedium::Options() const {
  RunOptions options;
  options.cwd = inst_;
  options.tmpdir = tmp();
  return options;
}

std::string TestMedium::InstallerForOtherUser() const {
  std::string program = root() + "/install";
  if (!std::filesystem::exists(program)) std::filesystem::copy_file(INSTALL_BINARY, program);
  EXPECT_EQ(chmod(program.c_str(), 0755), 0);
  return program;
}

RunResult TestMedium::Run(const std::string& option, const std::string& input,
                          const std::map<std::string, std::optional<std::string>>& env) const {
  RunOptions options = Options();
  options.input = input;
  options.env = env;
  return RunInstall({option}, options);
}
