// Copying one category out of the table of contents, the heading, duplicate
// marking and taking a category out of the selection again.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>

#include "common/tocformat.hpp"
#include "support/inprocess.hpp"
#include "support/texts.hpp"
#include "system/workingfiles.hpp"
#include "toc/markduplicates.hpp"
#include "toc/printheader.hpp"
#include "toc/removemodule.hpp"
#include "toc/selectmodule.hpp"

namespace {

using CatalogueTest = InProcessTest;

std::string Line(int category, char type, char package_class, const std::string& description,
                 const std::string& path) {
  return TocEntry(category, type, package_class, description, "aa", 100, path);
}

// What a plain pass gives: every line after the first whose first two
// characters are the code, each with a line end.
std::string PlainSelection(const std::string& content, int category) {
  std::string code = CategoryCode(category);
  std::string out;
  size_t at = content.find('\n');
  while (at != std::string::npos && at + 1 < content.size()) {
    size_t begin = at + 1;
    at = content.find('\n', begin);
    std::string line =
        content.substr(begin, at == std::string::npos ? std::string::npos : at - begin);
    if (line.compare(0, 2, code) == 0 && line.size() >= 2) out += line + "\n";
  }
  return out;
}

}  // namespace

TEST_F(CatalogueTest, SelectModuleTakesTheCategoryWhereverItStands) {
  std::string header = "01 heading that starts like category 01\n";
  std::string t1 = TocTitle(1, true, "Base");
  std::string p1 = Line(1, 'F', 'O', "base", "base/a");
  std::string t2 = TocTitle(2, false, "Extras");
  std::string p2a = Line(2, 'F', 'O', "extra one", "x/1");
  std::string t3 = TocTitle(3, true, "Docs");
  std::string p3 = Line(3, 'F', 'O', "docs", "d/1");
  std::string p2b = Line(2, 'F', 'O', "extra two", "x/2");
  std::string t5 = TocTitle(5, true, "After a gap");
  std::string toc = dir_ / "01.toc";
  WriteFile(toc, header + t1 + t3 + p1 + t2 + p3 + p2a + "junk line\n" + p2b + t5);

  EXPECT_EQ(SelectModule(toc, MOD, 2), 3);
  EXPECT_EQ(ReadFile(MOD), t2 + p2a + p2b);
  EXPECT_EQ(SelectModule(toc, MOD, 1), 2);  // never the header line
  EXPECT_EQ(ReadFile(MOD), t1 + p1);
  EXPECT_EQ(SelectModule(toc, MOD, 3), 2);
  EXPECT_EQ(ReadFile(MOD), t3 + p3);
  EXPECT_EQ(SelectModule(toc, MOD, 4), 0);  // the walk stops at the gap
  EXPECT_EQ(ReadFile(MOD), "");
  // Category 100 would have the code "100", whose first two characters are
  // category 10's: the walk ends after 99.
  WriteFile(toc, header + TocTitle(10, true, "Ten"));
  EXPECT_EQ(SelectModule(toc, MOD, 10), 1);
  EXPECT_EQ(SelectModule(toc, MOD, 100), 0);
}

TEST_F(CatalogueTest, SelectModuleReadsAChangedFileAgain) {
  std::string toc = dir_ / "01.toc";
  std::string first = TocHeader("H") + TocTitle(1, true, "One") + TocTitle(2, true, "Two");
  WriteFile(toc, first);
  EXPECT_EQ(SelectModule(toc, MOD, 2), 1);
  // The same size; only the time of the change tells.
  std::string second = first;
  second[TocHeader("H").size()] = '2';  // "01 *..." becomes "21 *..."
  WriteFile(toc, second);
  timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, toc.c_str(), times, 0), 0);
  EXPECT_EQ(SelectModule(toc, MOD, 1), 0);
  EXPECT_EQ(SelectModule(toc, MOD, 21), 1);

  // A file that cannot be opened ends the run.
  EXPECT_EQ(RunUnit([&] { SelectModule(dir_ / "missing", MOD, 1); }).status, 1);
}

TEST_F(CatalogueTest, SelectModuleGivesWhatAPlainPassGives) {
  // Lines of every length, from empty to longer than the reader's chunk,
  // categories interleaved at random, line starts on both sides of the
  // chunk boundary (1 MiB), with and without a final line end.
  std::mt19937 random(7);
  for (int shift = -3; shift <= 2; ++shift) {
    std::string content = "05 header\n";
    size_t boundary = (1u << 20) + shift;
    while (content.size() < boundary - 200) {
      int category = 1 + static_cast<int>(random() % 12);
      std::string line = CategoryCode(category);
      line.resize(random() % 100 < 5 ? random() % 3 : 10 + random() % 150, 'x');
      content += line + "\n";
    }
    content += "07" + std::string(boundary - content.size() - 3, 'y') + "\n";  // ends at boundary
    content += "07" + std::string(3000000, 'z') + "\n0\n";
    content += "07" + std::string(1500000, 'w') + "\n08\n\n0\n";
    content += (shift % 2 == 0) ? "07 last\n" : "07 last without line end";
    std::string toc = dir_ / "01.toc";
    WriteFile(toc, content);
    for (int category : {7, 1, 8, 12, 5, 13}) {
      std::string expected = PlainSelection(content, category);
      EXPECT_EQ(SelectModule(toc, MOD, category), Count(expected, "\n"));
      EXPECT_TRUE(ReadFile(MOD) == expected) << "category " << category << " shift " << shift;
    }
  }
}

TEST_F(CatalogueTest, SelectModuleCopiesAcrossFileSystems) {
  // A table of contents on another file system than the working files
  // cannot be copied inside the kernel; the copy goes through a buffer.
  char pattern[] = "/dev/shm/insttestXXXXXX";
  if (!mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm";
  std::string toc = std::string(pattern) + "/01.toc";
  std::string content = "   header\n01 a\n02 b\n" + std::string(3000000, '0') + "\n01 " +
                        std::string(2500000, 'c') + "\n01 d";
  WriteFile(toc, content);
  EXPECT_EQ(SelectModule(toc, MOD, 1), 3);
  EXPECT_TRUE(ReadFile(MOD) == PlainSelection(content, 1));
  EXPECT_EQ(SelectModule(toc, MOD, 2), 1);
  EXPECT_EQ(ReadFile(MOD), "02 b\n");
  std::remove(toc.c_str());
  rmdir(pattern);
}

TEST_F(CatalogueTest, PrintHeaderUnderlinesTheHeading) {
  std::string toc = dir_ / "01.toc";
  WriteFile(toc, TocHeader("Heading text") + TocTitle(1, true, "One"));
  EXPECT_EQ(RunUnit([&] { PrintHeader(toc); }).out, "\nHeading text\n------------\n");
  WriteFile(toc, "ab");
  EXPECT_EQ(RunUnit([&] { PrintHeader(toc); }).out, "\n\n\n");
}

TEST_F(CatalogueTest, MarkDuplicatesJoinsRunsAgainstTheirFirstLine) {
  std::string title = TocTitle(1, true, "Tools");
  std::string o1 = Line(1, 'F', 'O', "tool", "t/1");
  std::string o2 = Line(1, 'F', 'O', "tool", "t/2");
  std::string o3 = Line(1, 'D', 'O', "tool", "t/3");  // column 3 is not compared
  std::string r1 = Line(1, 'F', 'R', "runtime", "r/1");
  std::string r2 = Line(1, 'F', 'R', "runtime", "r/2");
  std::string o4 = Line(1, 'F', 'O', "runtime", "r/3");  // class differs from the R line
  std::string o5 = Line(1, 'F', 'O', "tool", "t/4");     // not next to its equals
  std::string in = dir_ / "category";
  WriteFile(in, title + o1 + o2 + o3 + r1 + r2 + o4 + o5);

  MarkDuplicates(in, 8, MOD, TMP);
  auto marked = [](std::string line) {
    line[5] = '*';
    return line;
  };
  std::string expected = title + o1 + marked(o2) + marked(o3) + r1 + marked(r2) + o4 + o5;
  EXPECT_EQ(ReadFile(MOD), expected);  // the result always lands in MOD
  EXPECT_EQ(ReadFile(TMP), expected);  // and TMP stays
  EXPECT_EQ(ReadFile(in), title + o1 + o2 + o3 + r1 + r2 + o4 + o5);

  MarkDuplicates(in, 3, MOD, TMP);  // only the first `count` lines
  EXPECT_EQ(ReadFile(MOD), title + o1 + marked(o2));

  // MOD itself, with nothing to mark: still exactly the first `count` lines,
  // each with its line end; lines longer than any read block are whole.
  std::string long_line = Line(1, 'F', 'O', "long", std::string(700000, 'p'));
  WriteFile(MOD, title + long_line + marked(long_line) + o1 + o2);
  MarkDuplicates(MOD, 4, MOD, TMP);
  EXPECT_TRUE(ReadFile(MOD) == title + long_line + marked(long_line) + o1);
  std::string last = o1.substr(0, o1.size() - 1);  // without its line end
  WriteFile(MOD, title + last);
  MarkDuplicates(MOD, 2, MOD, TMP);
  EXPECT_EQ(ReadFile(MOD), title + o1);
}

TEST_F(CatalogueTest, MarkDuplicatesOnModItselfGivesWhatTheCopyGives) {
  auto marked = [](std::string line) {
    line[5] = '*';
    return line;
  };
  std::string o = Line(1, 'F', 'O', "tool", "t/1");
  std::string r = Line(1, 'F', 'R', "tool", "t/2");
  std::string c = Line(1, 'F', '*', "tool", "t/3");
  const std::string contents[] = {
      // a run of three, an 'O' after an equal 'R', a continuation line
      TocTitle(1, true, "Tools") + o + o + o + r + o + r + r + c + c + o,
      // short lines: under column 5, and ending inside the compared columns
      "01\n01\n01 F O ab\n01 F O ab\n01 F * ab\n" + o,
      // the last line without its line end: it gets one
      o + marked(o) + o.substr(0, o.size() - 1),
      // more lines than counted
      o + o + o + o,
  };
  const int counts[] = {11, 6, 3, 2};
  for (size_t i = 0; i < std::size(contents); ++i) {
    std::string copy = dir_ / "copy";
    WriteFile(copy, contents[i]);
    MarkDuplicates(copy, counts[i], MOD, TMP);  // another file: always through TMP
    std::string expected = ReadFile(MOD);
    std::remove(TMP.c_str());
    WriteFile(MOD, contents[i]);
    MarkDuplicates(MOD, counts[i], MOD, TMP);
    EXPECT_EQ(ReadFile(MOD), expected) << i;
  }
  // Marked in place, nothing goes through TMP.
  std::remove(TMP.c_str());
  WriteFile(MOD, contents[0]);
  MarkDuplicates(MOD, 11, MOD, TMP);
  EXPECT_FALSE(Exists(TMP));
  EXPECT_EQ(ReadFile(MOD), TocTitle(1, true, "Tools") + o + marked(o) + marked(o) + r + o + r +
                               marked(r) + c + marked(c) + o);
}

TEST_F(CatalogueTest, RemoveModuleTakesOneCategoryOutOfThePackageFile) {
  std::string a = Line(1, 'F', 'O', "one", "1");
  std::string b1 = Line(2, 'F', 'O', "two", "2");
  std::string b2 = Line(2, 'F', '*', "two", "2b");
  std::string c = Line(3, 'F', 'R', "three", "3");
  WriteFile(PAK, a + b1 + b2 + c);
  RemoveModule(PAK, 2, TMP3);
  EXPECT_EQ(ReadFile(PAK), a + c);
  EXPECT_FALSE(Exists(TMP3));
  RemoveModule(PAK, 1, TMP3);
  RemoveModule(PAK, 3, TMP3);
  EXPECT_EQ(ReadFile(PAK), "");

  // A selection file that cannot be opened ends the run through the exit
  // routine, which removes every working file.
  std::remove(PAK.c_str());
  std::string work = MOD.substr(0, MOD.rfind('/'));
  WriteFile(MOD, "x\n");
  Outcome ended = RunUnit([] { RemoveModule(PAK, 1, TMP3); });
  EXPECT_EQ(ended.out, kExit);
  EXPECT_EQ(ended.status, 1);
  EXPECT_FALSE(Exists(work));
}
