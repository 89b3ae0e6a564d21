// The title look-up answers as a scan from the first line would, also
// after the file changed or was replaced.
#include <cstdio>

#include "common/tocformat.hpp"
#include "support/inprocess.hpp"
#include "toc/categorytitle.hpp"
#include "toc/tocline.hpp"

namespace {

using CatalogueTest = InProcessTest;

// The first line with the code and '*' in column 3, scanning from line 1.
std::optional<std::string> Scan(const std::string& content, const std::string& code) {
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(begin, end - begin);
    if (TocLine(line).HasCategory(code) && TocLine(line).IsTitle()) return line;
    begin = end + 1;
  }
  return std::nullopt;
}

const char* const kCodes[] = {"01", "02", "03", "05", "07", "0", "", "011", "x*"};

TEST_F(CatalogueTest, CategoryTitlesAsAScanFindsThem) {
  std::string toc = dir_ / "01.toc";
  // The header line counts when it looks like a title; the first of two
  // titles wins; short lines; a title of exactly four characters; the last
  // line without its line end.
  std::string content = "05 * Header that looks like a title\n" + TocTitle(1, false, "First") +
                        TocEntry(1, 'F', 'O', "P", "01", 1, "a") + "0\n02\n\n" +
                        TocTitle(1, true, "Second") + "x* *\n02 *\n" +
                        TocEntry(3, 'F', 'O', "Q", "01", 1, "b") + "07 * A Last";
  WriteFile(toc, content);
  for (const char* code : kCodes)
    EXPECT_EQ(FindCategoryTitle(toc, code), Scan(content, code)) << code;

  // Rewritten in place (another size), then replaced by a new file.
  std::string rewritten = TocHeader("H") + TocTitle(3, true, "Third") + TocTitle(2, true, "Two");
  WriteFile(toc, rewritten);
  for (const char* code : kCodes)
    EXPECT_EQ(FindCategoryTitle(toc, code), Scan(rewritten, code)) << code;
  std::string replaced = TocHeader("H") + TocTitle(7, false, "Seven");
  WriteFile(dir_ / "new", replaced);
  ASSERT_EQ(std::rename((dir_ / "new").c_str(), toc.c_str()), 0);
  for (const char* code : kCodes)
    EXPECT_EQ(FindCategoryTitle(toc, code), Scan(replaced, code)) << code;

  // A second file does not answer from the first one's index.
  std::string other = dir_ / "other.toc";
  WriteFile(other, content);
  EXPECT_EQ(FindCategoryTitle(other, "01"), Scan(content, "01"));
  EXPECT_EQ(FindCategoryTitle(toc, "01"), std::nullopt);
}

TEST_F(CatalogueTest, CategoryTitleOfAMissingFileEndsTheRun) {
  EXPECT_EQ(RunUnit([&] { FindCategoryTitle(dir_ / "none.toc", "01"); }).status, 1);
}

}  // namespace
