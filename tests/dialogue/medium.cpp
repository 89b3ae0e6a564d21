#include "medium.hpp"

#include <filesystem>
#include <regex>

#include "support/archives.hpp"
#include "support/tocwriter.hpp"

const std::string kGreeting =
    "\nPress <return> to take the default, '?' for help, '^' to return to \n"
    "the previous question, or 'q' to quit.\n";
const std::string kMountPrompt = "\nEnter CD-ROM mount point: [/mnt/cdrom] ";

std::string InstallPrompt(const std::string& start) {
  return "\nEnter pathname to install directory: [" + start + "] ";
}

std::string Pad(const std::string& description) {
  std::string padded = description;
  padded.resize(54, ' ');
  return padded;
}

std::string MaskSpace(const std::string& out) {
  return std::regex_replace(out, std::regex("Available space in megabytes: [0-9.]+"),
                            "Available space in megabytes: N");
}

Medium::Medium() {
  std::string staging = root_ / "staging";
  MakeDirs(staging + "/bin");
  MakeDirs(staging + "/tools");
  MakeDirs(staging + "/lib");
  MakeDirs(staging + "/doc");
  MakeDirs(cdrom());
  MakeDirs(tmp());
  MakeDirs(root_ / "inst");
  for (const std::string& f : Files()) WriteFile(staging + "/" + f, "content of " + f + "\n");
  WriteFile(cdrom() + "/01.toc",
            HeaderLine("Sample Product 1.0") + TitleLine(1, "Base system", true) +
                PackageLine(1, 'F', 'R', "Runtime", "01", 4, "bin/run") +
                PackageLine(1, 'D', 'O', "Tools", "01", 0, "tools") +
                PackageLine(1, 'F', 'O', "Tools", "01", 2, "tools/a.txt") +
                PackageLine(1, 'F', 'O', "Tools", "01", 2, "tools/b.txt") +
                PackageLine(1, 'F', 'O', "Libraries", "02", 5000, "lib/x.so") +
                TitleLine(2, "Documentation", true) +
                PackageLine(2, 'F', 'O', "Guide", "02", 10, "doc/guide.txt") +
                PackageLine(2, 'F', 'O', "FAQ", "03", 10, "doc/faq.txt"));
  MakeTarArchive(cdrom() + "/01.tar", staging, {"bin/run", "tools"});
  MakeTarArchive(cdrom() + "/02.tar", staging, {"lib/x.so", "doc/guide.txt"});
  MakeTarArchive(cdrom() + "/03.tar", staging, {"doc/faq.txt"});
  inst_ = std::filesystem::canonical(root_ / "inst").string();
}

std::vector<std::string> Medium::Files() {
  return {"bin/run", "tools/a.txt", "tools/b.txt", "lib/x.so", "doc/guide.txt", "doc/faq.txt"};
}

void Medium::Populate(const std::vector<std::string>& files) const {
  for (const std::string& f : files) {
    std::filesystem::create_directories(std::filesystem::path(inst_ + "/" + f).parent_path());
    std::filesystem::copy_file(root_ / ("staging/" + f), inst_ + "/" + f,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

RunResult Medium::Run(const std::string& option, const std::string& input) const {
  RunOptions options;
  options.cwd = inst_;
  options.tmpdir = tmp();
  options.input = input;
  return RunInstall({option}, options);
}
