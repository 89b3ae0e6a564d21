#include <gtest/gtest.h>

#include "common/appendfile.hpp"
#include "common/copyfile.hpp"
#include "common/numbers.hpp"
#include "support/inprocess.hpp"
#include "support/tempdir.hpp"
#include "support/texts.hpp"

TEST(IsNumber, DigitsOnlyAndNotEmpty) {
  EXPECT_EQ(IsNumber(""), 0);
  EXPECT_EQ(IsNumber("0"), 1);
  EXPECT_EQ(IsNumber("007"), 1);
  for (const char* bad : {"12a", "-1", "+3", " 4", "4 ", "1-2"}) EXPECT_EQ(IsNumber(bad), 0) << bad;
}

TEST(FileCopy, AppendCreatesAndExtendsCopyReplaces) {
  TempDir dir;
  WriteFile(dir / "a", "line 1\n");
  WriteFile(dir / "empty", "");
  AppendFile(dir / "a", dir / "new");
  EXPECT_EQ(ReadFile(dir / "new"), "line 1\n");
  AppendFile(dir / "a", dir / "new");
  EXPECT_EQ(ReadFile(dir / "new"), "line 1\nline 1\n");
  AppendFile(dir / "empty", dir / "new");
  EXPECT_EQ(ReadFile(dir / "new"), "line 1\nline 1\n");
  AppendFile(dir / "empty", dir / "created");
  EXPECT_TRUE(Exists(dir / "created"));

  WriteFile(dir / "long", "a much longer content than the source\n");
  CopyFile(dir / "a", dir / "long");
  EXPECT_EQ(ReadFile(dir / "long"), "line 1\n");
}

TEST(FileCopy, MissingSourceEndsTheRunWithStatusOne) {
  TempDir dir;
  UseEnglishMessages();
  Outcome ended = RunUnit([&] { CopyFile(dir / "missing", dir / "target"); });
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.out, kExit);
  EXPECT_FALSE(Exists(dir / "target"));
}
