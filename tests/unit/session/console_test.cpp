#include "session/console.hpp"

#include <gtest/gtest.h>

#include "session/question.hpp"
#include "support/inprocess.hpp"
#include "support/texts.hpp"

TEST(AnswerWords, ComparedWholeIgnoringCaseOnly) {
  EXPECT_EQ(strcmpe("YES", "yes"), 0);
  EXPECT_EQ(strcmpe("Q", "q"), 0);
  EXPECT_NE(strcmpe("yes ", "yes"), 0);
  EXPECT_LT(strcmpe("abc", "abd"), 0);
  EXPECT_GT(strcmpe("b", "A"), 0);
  for (const char* word : {"q", "Q", "QU", "Qui", "QUIT"}) EXPECT_EQ(Quit(word), 1) << word;
  for (const char* word : {"quitt", " q", "q ", "", "exit"}) EXPECT_EQ(Quit(word), 0) << word;
  for (const char* word : {"y", "Ye", "YES"}) EXPECT_TRUE(IsYes(word)) << word;
  for (const char* word : {"", " y", "yess", "n"}) EXPECT_FALSE(IsYes(word)) << word;
  for (const char* word : {"n", "NO"}) EXPECT_TRUE(IsNo(word)) << word;
  EXPECT_FALSE(IsNo("non"));
}

TEST(Answers, WholeLinesOfAnyLengthAndEndOfInput) {
  std::string long_answer(100000, 'x');
  StdioCapture io(long_answer + "\nsecond\r\nlast");
  EXPECT_EQ(ReadAnswerOrEnd(), long_answer);
  EXPECT_EQ(ReadAnswerOrEnd(), "second\r");
  EXPECT_EQ(ReadAnswerOrEnd(), "last");
  EXPECT_EQ(ReadAnswerOrEnd(), std::nullopt);
}

TEST(Answers, EndOfInputAtAQuestionEndsTheRunWithStatusOne) {
  UseEnglishMessages();
  Outcome ended = RunUnit([] { Ask(Msg::kCorrectQuestion, " [yes] "); });
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.out, "Is this correct? [yes] " + kExit);
}

TEST(QuitConfirmation, DefaultQuitsCaretAndNoGoOnHelpAsksAgain) {
  UseEnglishMessages();
  const std::string prompt = kQuitPrompt;
  {
    StdioCapture io("\n");
    EXPECT_TRUE(Quit2());
    EXPECT_EQ(io.Output(), prompt);
  }
  {
    StdioCapture io("^\n");
    EXPECT_FALSE(Quit2());
  }
  {
    StdioCapture io("?\nmaybe\nNO\n");
    EXPECT_FALSE(Quit2());
    EXPECT_EQ(io.Output(), prompt +
                               "\nEnter 'y' or 'yes' to terminate the installation procedure, \n"
                               "'n' or 'no' to continue\n\n" +
                               prompt + prompt);
  }
  {
    StdioCapture io("Ye\n");
    EXPECT_TRUE(Quit2());
  }
}
