#include <unistd.h>

#include "fixture.hpp"
#include "operations/runcver.hpp"
#include "support/texts.hpp"

namespace {

const std::string kNoneMissing =
    "\nNumber of missing files: none\nNumber of missing directories: none\n"
    "\nFinished verifying package(s)\n";

class Verification : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    WriteFile(dist_ + "/01.toc", TocHeader("Distribution") + TocTitle(1, true, "Base system") +
                                     TocTitle(2, false, "Extras"));
    MakeDirs("bin");
    MakeDirs("games");
    for (const char* file : {"bin/ls", "bin/cat", "games/readme", "lib"}) WriteFile(file, "");
  }
  Outcome Verify(const std::string& input = "", const std::string& toc = "01.toc") {
    HeldTarget target(inst_);
    return RunUnit([&] { RunVER(dist_, toc, PAK, *target, Settings()); }, input);
  }
};

TEST_F(Verification, HeadingsOnlyWhenNothingIsMissing) {
  WritePak({TocEntry(1, 'F', 'O', "Base system tools", "01", 1, "bin/ls"),
            TocEntry(1, 'F', '*', "Base system tools", "01", 1, "bin/cat"),
            TocEntry(2, 'D', 'O', "Games", "02", 1, "games"),
            TocEntry(2, 'F', 'R', "Games", "02", 1, "games/readme")});
  // The first package names its category's title: no heading of its own.
  EXPECT_EQ(Verify().out, "\n\nVerifying Base system\n\nVerifying Extras\n\tVerifying " +
                              Pad("Games") + "\n" + kNoneMissing);
}

TEST_F(Verification, ListsAndCountsMissingFilesAndDirectories) {
  ASSERT_EQ(symlink("nowhere", "bin/ln"), 0);
  std::string long_text(60, 'x');
  WritePak({TocEntry(1, 'F', 'R', "Required", "01", 1, "req"),
            TocEntry(1, 'D', 'O', long_text, "01", 1, "games"),
            TocEntry(1, 'X', '*', long_text, "01", 1, "lib/x"),
            TocEntry(1, 'F', '*', long_text, "01", 1, "bin/ln"),
            TocEntry(1, 'D', '*', long_text, "01", 1, "nodir"),
            // No title line for category 3: no category heading.
            TocEntry(3, 'F', 'O', "Third", "03", 1, "bin/ls")});
  EXPECT_EQ(Verify("", dist_ + "/01.toc").out,
            "\n\t   Missing file --> req\n"
            "\nVerifying Base system\n\tVerifying " +
                std::string(54, 'x') +
                "\n"
                "\t   Missing file --> lib/x\n\t   Missing file --> bin/ln\n"
                "\t   Missing directory --> nodir\n"
                "\tVerifying " +
                Pad("Third") +
                "\n"
                "\nNumber of missing files: 3\nNumber of missing directories: 1\n"
                "\nFinished verifying package(s)\n");
}

TEST_F(Verification, PausesEveryTwentyLines) {
  std::vector<std::string> pak = {TocEntry(1, 'F', 'O', "Base system", "01", 1, "bin/ls")};
  std::string listed;
  for (int i = 0; i < 45; ++i) {
    pak.push_back(TocEntry(1, 'F', '*', "Base system", "01", 1, "gone" + std::to_string(i)));
    listed += "\t   Missing file --> gone" + std::to_string(i) + "\n";
  }
  WritePak(pak);
  const std::string more = "\nMore? [yes] ";
  // The heading counts 2 lines, so 18 entries fill the first page.
  size_t page = listed.find("\t   Missing file --> gone18");
  size_t page2 = listed.find("\t   Missing file --> gone38");
  EXPECT_EQ(Verify("n\n").out,
            "\n\nVerifying Base system\n" + listed.substr(0, page) + more +
                "\nNumber of missing files: 18\nNumber of missing directories: none\n"
                "\nFinished verifying package(s)\n");
  // "YES" goes on, and so does the end of input at the next pause.
  EXPECT_EQ(Verify("YES\n").out,
            "\n\nVerifying Base system\n" + listed.substr(0, page) + more +
                listed.substr(page, page2 - page) + more + listed.substr(page2) +
                "\nNumber of missing files: 45\nNumber of missing directories: none\n"
                "\nFinished verifying package(s)\n");
}

}  // namespace

TEST_F(Verification, SizesOfFilesWhenAsked) {
  WriteFile("bin/ls", "12345");           // grown: the line gives 3
  WriteFile("bin/cat", "1");              // truncated: the line gives 8
  ASSERT_EQ(symlink("ls", "bin/ln"), 0);  // a link is not checked
  WritePak({TocEntry(1, 'F', 'R', "Tools", "01", 3, "bin/ls"),
            TocEntry(1, 'F', '*', "Tools", "01", 8, "bin/cat"),
            TocEntry(1, 'F', '*', "Tools", "01", 1, "bin/ln"),
            TocEntry(1, 'D', '*', "Tools", "01", 4096, "games"),
            TocEntry(1, 'F', '*', "Tools", "01", 0, "lib"),
            TocEntry(1, 'F', '*', "Tools", "01", 7, "gone")});
  HeldTarget target(inst_);
  Settings sizes;
  sizes.verify_sizes = true;
  Outcome sized = RunUnit([&] { RunVER(dist_, "01.toc", PAK, *target, sizes); });
  EXPECT_EQ(sized.out,
            "\n  Size differs: bin/ls (expected 3, found 5)\n"
            "  Size differs: bin/cat (expected 8, found 1)\n"
            "\t   Missing file --> gone\n"
            "\nNumber of missing files: 1\nNumber of missing directories: none\n"
            "2 files with a different size\n"
            "\nFinished verifying package(s)\n");
  // Without the request the sizes are not looked at.
  EXPECT_EQ(Verify().out,
            "\n\t   Missing file --> gone\n"
            "\nNumber of missing files: 1\nNumber of missing directories: none\n"
            "\nFinished verifying package(s)\n");
}
