// Finding the products of a medium without a table of contents at its top,
// and the product menu.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "common/medium.hpp"
#include "common/tocformat.hpp"
#include "support/inprocess.hpp"
#include "support/texts.hpp"
#include "toc/scancd.hpp"

namespace {

using CatalogueTest = InProcessTest;

void MakeProduct(const std::string& dir, const std::string& toc_name) {
  MakeDirs(dir);
  WriteFile(dir + "/" + toc_name, TocHeader("Product") + TocTitle(1, true, "One"));
}

struct Scan {
  std::string output;
  std::string result;
  int index = -1;
  int status = -1;  // the exit status when the run ended, else -1
};

Scan RunScan(Mode mode, const std::string& mount, const std::string& input) {
  Scan scan;
  Outcome outcome = RunUnit(
      [&] {
        ProductChoice choice = ScanCD(mode, kTocNames, mount);
        if (choice.stepped_back) scan.result = "^";
        if (choice.chosen) {
          scan.result = choice.chosen->dir;
          scan.index = choice.chosen->variant;
        }
      },
      input);
  scan.output = outcome.out;
  scan.status = outcome.status;
  return scan;
}

std::string MenuLine(int number, const std::string& path) {
  char text[16];
  std::snprintf(text, sizeof text, " %3d - ", number);
  return text + path + "\n";
}

}  // namespace

class ProductWalkTest : public CatalogueTest {
 protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    mount_ = dir_ / "cdrom";
    MakeProduct(mount_ + "/alpha", "01.toc");
    MakeProduct(mount_ + "/beta", "01.TOC;1");
    MakeDirs(mount_ + "/empty/deeper");
    WriteFile(mount_ + "/README", "not a directory\n");
    for (const std::string& name : ListingOrder(mount_)) {
      if (name == "alpha" || name == "beta") order_.push_back(name);
    }
    ASSERT_EQ(order_.size(), 2u);
    menu_ = MenuLine(1, mount_ + "/" + order_[0]) + MenuLine(2, mount_ + "/" + order_[1]);
  }
  int VariantOf(const std::string& name) { return name == "alpha" ? 0 : 4; }

  std::string mount_;
  std::vector<std::string> order_;
  std::string menu_;
};

TEST_F(ProductWalkTest, OffersTheProductsInListingOrderEachWithItsOwnNameForm) {
  Scan first = RunScan(Mode::kLoad, mount_, "\n");
  EXPECT_EQ(first.output, kProductMenuHeading + menu_ + kProductPrompt);
  EXPECT_EQ(first.result, mount_ + "/" + order_[0]);
  EXPECT_EQ(first.index, VariantOf(order_[0]));

  for (const char* answer : {"2\n", "02\n"}) {
    Scan second = RunScan(Mode::kLoad, mount_, answer);
    EXPECT_EQ(second.result, mount_ + "/" + order_[1]) << answer;
    EXPECT_EQ(second.index, VariantOf(order_[1])) << answer;
  }

  Scan remove = RunScan(Mode::kRemove, mount_, "1\n");
  EXPECT_EQ(remove.output, "\nSelect which product to remove by entering the package product.\n\n" +
                               menu_ + "\nEnter product number to remove: [1] ");
}

TEST_F(ProductWalkTest, AsksAgainUntilTheAnswerIsAProductNumber) {
  const std::string invalid = "Not a valid selection\n" + kProductPrompt;
  Scan scan = RunScan(Mode::kLoad, mount_, "?\n 2\n2x\n0\n3\nq\nn\n^\n");
  EXPECT_EQ(scan.status, -1);
  EXPECT_EQ(scan.result, "^");
  EXPECT_EQ(scan.output, kProductMenuHeading + menu_ + kProductPrompt +
                             "\nSpecify the number adjacent to the product pathname\n" +
                             kProductPrompt + invalid + invalid + invalid + invalid +
                             "Are you sure you want to quit? [yes] " + invalid);

  Scan quit = RunScan(Mode::kLoad, mount_, "QU\ny\n");
  EXPECT_EQ(quit.status, 0);

  Scan end = RunScan(Mode::kLoad, mount_, "");
  EXPECT_EQ(end.status, 1);
}

TEST_F(CatalogueTest, FindsProductsInsideProducts) {
  std::string mount = dir_ / "cd";
  MakeProduct(mount + "/outer", "01.toc-1");
  MakeProduct(mount + "/outer/inner", "01.TOC");
  WriteFile(mount + "/outer/inner/01.toc", "both names: the first one wins\n");
  Scan scan = RunScan(Mode::kLoad, mount, "2\n");
  EXPECT_EQ(scan.output, kProductMenuHeading + MenuLine(1, mount + "/outer") +
                             MenuLine(2, mount + "/outer/inner") + kProductPrompt);
  EXPECT_EQ(scan.result, mount + "/outer/inner");
  EXPECT_EQ(scan.index, 0);
  EXPECT_EQ(RunScan(Mode::kLoad, mount, "1\n").index, 2);

  // A tree without any table of contents: nothing is printed.
  MakeDirs(dir_ / "bare/sub");
  Scan bare = RunScan(Mode::kLoad, dir_ / "bare", "");
  EXPECT_EQ(bare.output, "");
  EXPECT_EQ(bare.result, "");
}

TEST_F(CatalogueTest, SymbolicLinksToDirectoriesAlreadyWalkedAreNotWalkedAgain) {
  std::string mount = dir_ / "cd";
  MakeProduct(mount + "/a", "01.toc");
  ASSERT_EQ(symlink("..", (mount + "/a/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (mount + "/a/self").c_str()), 0);
  ASSERT_EQ(symlink("a", (mount + "/b").c_str()), 0);
  ASSERT_EQ(symlink("missing", (mount + "/dangling").c_str()), 0);
  ProductWalk walk = walk_cd(kTocNames, mount);
  EXPECT_FALSE(walk.failed);
  ASSERT_EQ(walk.products.size(), 1u);
  const std::string& found = walk.products[0].dir;
  EXPECT_TRUE(found == mount + "/a" || found == mount + "/b") << found;
}

TEST_F(CatalogueTest, ADirectoryThatCannotBeOpenedFailsTheWholeWalk) {
  // Root opens any directory, so the walk runs in a child that has given up
  // root first.
  std::string mount = dir_ / "cd";
  MakeProduct(mount, "01.toc");
  MakeProduct(mount + "/first", "01.toc");
  MakeDirs(mount + "/locked/below");
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((mount + "/locked").c_str(), 0), 0);

  int status = -1;
  std::string output = RunUnit([&] {
                         pid_t child = fork();
                         if (child == 0) {
                           if (setuid(65534) != 0) _exit(10);
                           if (DIR* handle = opendir((mount + "/locked").c_str())) {
                             closedir(handle);
                             _exit(11);  // the directory still opens: the test would prove nothing
                           }
                           ProductChoice choice = ScanCD(Mode::kLoad, kTocNames, mount);
                           std::fflush(stdout);
                           _exit(choice.chosen || choice.stepped_back ? 12 : 0);
                         }
                         waitpid(child, &status, 0);
                       }).out;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(output, "\nError while scanning the CD-ROM mount point for Products\n");
}
