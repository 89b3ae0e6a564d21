// Tables of contents, catalogues, product trees and answers far from what
// a well-made medium and a careful operator give: runs end normally, with
// nothing lost and nothing outside touched.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/texts.hpp"

TEST(OddTables, ShortLinesAMissingTitleAndBinaryBytes) {
  HostileMedium m;
  m.Stage("good", "good");
  m.Stage("second", "second");
  m.Archive("01", {"good", "second"});
  std::string binary = "01 F O \x01\xff\r\x1b[2J";
  binary += std::string(1, '\0') + "\x7f";
  binary.resize(80, '\xfe');
  m.Toc(TocHeader(std::string("Bytes \x00\xff", 8)) + TocTitle(1, true, "Base") +
        "01 F O short line\n" +  // no archive code, size or path
        "01\n" +                 // two characters only
        "01 D\n" +               // an entry type and nothing more
        binary + "\n" +          // binary bytes up to column 80, no path
        TocEntry(1, 'F', 'O', "Good", "01", 4, "good") +
        // Category 2 has no title line.
        TocEntry(2, 'F', 'O', "Second", "01", 6, "second"));

  RunResult load = m.Run("-load", m.cdrom() + "\n\n\n1\n\n\n");
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_NE(load.out.find(kLoadFinished), std::string::npos) << load.out;
  EXPECT_EQ(ReadFile(m.inst() + "/good"), "good");
  EXPECT_EQ(ReadFile(m.inst() + "/second"), "second");

  RunResult verify = m.Run("-verify", m.cdrom() + "\n\n\n1\n\n");
  EXPECT_EQ(verify.status, 0);
  // The lines without a path name nothing that exists.
  EXPECT_NE(verify.out.find("Number of missing files: 3\n"), std::string::npos) << verify.out;

  RunResult remove = m.Run("-remove", m.cdrom() + "\n\n\n1\n\n\n");
  EXPECT_EQ(remove.status, 0);
  EXPECT_EQ(ListDir(m.inst()), std::vector<std::string>{});
  EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(OddTables, LinesOfTenThousandCharacters) {
  HostileMedium m;
  m.Stage("big", "big");
  m.Archive("01", {"big"});
  const std::string heading(10000, 'H');
  const std::string title(10000, 'T');
  // Beyond the entry path, after a blank, 10,000 more characters.
  std::string package = TocEntry(1, 'F', 'O', std::string(10000, 'D'), "01", 3, "big");
  package.insert(package.size() - 1, " " + std::string(10000, 'x'));
  m.Toc(TocHeader(heading) + TocTitle(1, true, title) + package);

  RunResult r = m.Run("-load", AcceptAll(m.cdrom()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n" + heading + "\n" + std::string(10000, '-') + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("\n" + title + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("\t" + std::string(54, 'D') + "\n"), std::string::npos);
  EXPECT_EQ(ReadFile(m.inst() + "/big"), "big");
}

TEST(OddCatalogues, CrlfLineEndsAndFiveThousandRecords) {
  HostileMedium m;
  m.Toc(TocHeader("Medium") + TocTitle(1, true, "Base") +
        TocEntry(1, 'F', 'O', "Good", "01", 4, "good"));
  std::map<std::string, std::optional<std::string>> german = {{"LANG", "de_DE"}};

  // A catalogue written on another system: the carriage return before each
  // line end is part of the line end, and a line of it alone is blank.
  WriteFile(m.inst() + "/de.nls", "5,Einhängepunkt:\r\n\r\n67,Lesbar?\r\n");
  RunResult crlf = m.Run("-load", "\n\nq\ny\n", german);
  EXPECT_NE(crlf.out.find("Lesbar?\n\nIs the previous statement legible"), std::string::npos)
      << crlf.out;
  EXPECT_NE(crlf.out.find("\nEinhängepunkt: [/mnt/cdrom] "), std::string::npos);
  EXPECT_EQ(crlf.out.find('\r'), std::string::npos);
  EXPECT_EQ(crlf.status, 0);

  // 5,000 records, all of them the help of the mount-point question: the
  // help pauses 217 times, and end of input at the pauses goes on.
  std::string records;
  for (int i = 1; i <= 5000; ++i) records += "6,Zeile " + std::to_string(i) + "\n";
  WriteFile(m.inst() + "/de.nls", records + "22,Mehr?\n67,Lesbar?\n");
  RunResult big = m.Run("-load", "\n\n?\n", german);
  EXPECT_EQ(Count(big.out, "Zeile "), 5000);
  EXPECT_NE(big.out.find("Zeile 5000\n"), std::string::npos);
  EXPECT_EQ(Count(big.out, "Mehr? [yes] "), 4999 / 23);
  EXPECT_EQ(big.status, 1);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(OddProducts, ASymbolicLinkLoopInTheProductTree) {
  HostileMedium m;
  std::string media = m.root() + "/media";
  MakeDirs(media + "/a/product");
  WriteFile(media + "/a/product/01.toc", TocHeader("Looped") + TocTitle(1, true, "Base"));
  ASSERT_EQ(symlink("..", (media + "/a/up").c_str()), 0);
  ASSERT_EQ(symlink("../..", (media + "/a/product/top").c_str()), 0);
  ASSERT_EQ(symlink("self", (media + "/self").c_str()), 0);

  RunResult r = m.Run("-load", media + "\nq\ny\n");
  EXPECT_NE(r.out.find("\n   1 - " + media + "/a/product\n\nEnter product number"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Count(r.out, " - "), 1);
  EXPECT_EQ(r.status, 0);
}

TEST(OddAnswers, AnswersOfAHundredThousandCharacters) {
  HostileMedium m;
  m.Stage("one", "1");
  m.Stage("two", "2");
  m.Archive("01", {"one", "two"});
  m.Toc(TocHeader("Medium") + TocTitle(1, false, "Base") +
        TocEntry(1, 'F', 'O', "One", "01", 1, "one") +
        TocEntry(1, 'F', 'O', "Two", "01", 1, "two"));
  const std::string huge(100000, 'x');
  std::string repeated;
  while (repeated.size() < 100000) repeated += "1,";
  std::string input = huge + "\n" +       // mount point: cannot be entered
                      m.cdrom() + "\n" +  //
                      huge + "\nn\n\n" +  // installation directory: do not create
                      repeated + "\n" +   // package 1 many times: not valid
                      "2" + std::string(100000, ' ') + "\n" +  // package 2
                      "y" + huge + "\ny\n" +                   // confirmation: asked again
                      huge + "\n\n";                           // list-files: asked again
  RunResult r = m.Run("-load", input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Unable to locate mount point \"" + huge + "\".\n"), std::string::npos);
  EXPECT_NE(r.out.find("Directory does not exist: " + huge + "\n"), std::string::npos);
  EXPECT_EQ(Count(r.out, "Not a valid selection"), 1);
  EXPECT_EQ(Count(r.out, "Is this correct? [yes] "), 2);
  EXPECT_EQ(Count(r.out, "List file names while loading? [no] "), 2);
  EXPECT_EQ(ListDir(m.inst()), std::vector<std::string>{"two"});
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}
