// The line writer reuses a working file: it writes over the old content and
// cuts it where the new content ends.
#include "common/lineio.hpp"

#include <gtest/gtest.h>

#include "support/tempdir.hpp"

TEST(LineWriter, LeavesNothingOfTheOldContent) {
  TempDir dir;
  std::string file = dir / "work";
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
