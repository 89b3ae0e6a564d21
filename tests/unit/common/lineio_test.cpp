// The line writer reuses a working file: it writes over the old content and
// cuts it where the new content ends.
#include <unistd.h>

#include "common/lineio.hpp"
#include "unit/catalogue/catalogue_fixture.hpp"

TEST_F(CatalogueTest, LineWriterLeavesNothingOfTheOldContent) {
  std::string file = dir_ / "work";
  WriteFile(file, std::string(300000, 'x') + "\n");
  {
    LineWriter out(file);
    out.Write("short");
    out.Close();
  }
  EXPECT_EQ(ReadFile(file), "short\n");

  {  // blocks written by the caller count as well
    LineWriter out(file);
    out.Write("a");
    WriteAll(out.FlushedFd(), "bc\n", 3, file);
    out.Close();
  }
  EXPECT_EQ(ReadFile(file), "a\nbc\n");

  LineWriter(file).Close();
  EXPECT_EQ(ReadFile(file), "");
}
