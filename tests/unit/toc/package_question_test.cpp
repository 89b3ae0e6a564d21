// The package question of one category: the answer grammar, the lines that
// each answer keeps, the listing with its pauses, and the dialogue around.
#include <cstdio>

#include "common/tocformat.hpp"
#include "support/inprocess.hpp"
#include "support/texts.hpp"
#include "system/workingfiles.hpp"
#include "toc/displaypackages.hpp"
#include "toc/installmodule.hpp"
#include "toc/markpackages.hpp"

namespace {

using CatalogueTest = InProcessTest;

const char kLoadHelp[] =
    "Select 'all' to load all packages, 'none' to skip this package.\n"
    "If there are specific packages that you want to load, you may select the\n"
    "package number(s).  Separate the package number(s) with commas or spaces.\n";

std::string Line(char package_class, const std::string& description, const std::string& path) {
  return TocEntry(1, 'F', package_class, description, "aa", 100, path);
}

std::string Marked(std::string line) {
  line[5] = '*';
  return line;
}

// "%4d %s" with a description padded to its 54 columns.
std::string ListingLine(int number, const std::string& description) {
  char text[80];
  std::snprintf(text, sizeof text, "%4d %-54s\n", number, description.c_str());
  return text;
}

}  // namespace

TEST(ParsePackageAnswer, AcceptsWordsAtTheStartAndDistinctNumbersInRange) {
  struct Case {
    const char* answer;
    PackageChoice::Kind kind;
    std::vector<int> numbers;
  };
  const Case cases[] = {
      {"", PackageChoice::kAll, {}},
      {"a", PackageChoice::kAll, {}},
      {"AL", PackageChoice::kAll, {}},
      {"all, 2", PackageChoice::kAll, {}},
      {"all 3", PackageChoice::kAll, {}},
      {"n", PackageChoice::kNone, {}},
      {"NONE,1", PackageChoice::kNone, {}},
      {"Non", PackageChoice::kNone, {}},
      {"2,1", PackageChoice::kNumbers, {1, 2}},
      {"02", PackageChoice::kNumbers, {2}},
      {" 2, 1", PackageChoice::kNumbers, {1, 2}},
      {"1\t2\n", PackageChoice::kNumbers, {1, 2}},
      {" ,, ", PackageChoice::kAll, {}},
      {"1 1", PackageChoice::kInvalid, {}},
      {"3", PackageChoice::kInvalid, {}},
      {"0", PackageChoice::kInvalid, {}},
      {"00", PackageChoice::kInvalid, {}},
      {"-1", PackageChoice::kInvalid, {}},
      {"1-2", PackageChoice::kInvalid, {}},
      {"x", PackageChoice::kInvalid, {}},
      {" all", PackageChoice::kInvalid, {}},
      {"alle", PackageChoice::kInvalid, {}},
      {"1,a", PackageChoice::kInvalid, {}},
      {"99999999999999999999", PackageChoice::kInvalid, {}},
  };
  for (const Case& c : cases) {
    PackageChoice choice = ParsePackageAnswer(c.answer, "all", 2);
    EXPECT_EQ(choice.kind, c.kind) << "'" << c.answer << "'";
    if (c.kind == PackageChoice::kNumbers) {
      EXPECT_EQ(choice.numbers, c.numbers) << "'" << c.answer << "'";
    }
  }
  EXPECT_EQ(ParsePackageAnswer("", "none", 2).kind, PackageChoice::kNone);
  EXPECT_EQ(ParsePackageAnswer("\t", "none", 2).kind, PackageChoice::kNone);
}

class PackageQuestionTest : public CatalogueTest {
 protected:
  // Title (default all); package 1 in three lines; a required package in two
  // lines; package 2 with a continuation line; package 3.
  void SetUp() override {
    CatalogueTest::SetUp();
    content_ = title_ + a1_ + a2_ + a3_ + r1_ + r2_ + b1_ + b2_ + c1_;
    WriteFile(MOD, content_);
  }

  // Runs the question with `input`; returns what it printed.
  std::string Ask(const std::string& input, int expected_result, Mode mode = Mode::kLoad) {
    int result = -2;
    std::string output =
        RunUnit([&] { result = InstallModule(MOD, mode, 9, {.scratch = TMP, .listing = TMP2}); },
                input)
            .out;
    EXPECT_EQ(result, expected_result) << output;
    return output;
  }

  // Runs the question until the run ends with `status`; returns what was
  // printed after the title.
  std::string EndOfRun(const std::string& input, int status) {
    Outcome ended = RunUnit(
        [] { InstallModule(MOD, Mode::kLoad, 9, {.scratch = TMP, .listing = TMP2}); }, input);
    EXPECT_EQ(ended.status, status);
    return ended.out.substr(std::string("\nBase system\n").size());
  }

  std::string title_ = TocTitle(1, true, "Base system");
  std::string a1_ = Line('O', "Alpha", "a/1");
  std::string a2_ = Line('O', "Alpha", "a/2");
  std::string a3_ = Line('O', "Alpha", "a/3");
  std::string r1_ = Line('R', "Runtime", "r/1");
  std::string r2_ = Line('R', "Runtime", "r/2");
  std::string b1_ = Line('O', "Beta", "b/1");
  std::string b2_ = Line('*', "Beta", "b/2");
  std::string c1_ = Line('O', "Gamma", "c/1");
  std::string content_;
  std::string all_ = a1_ + Marked(a2_) + Marked(a3_) + r1_ + Marked(r2_) + b1_ + b2_ + c1_;
};

TEST_F(PackageQuestionTest, EachAnswerKeepsItsLines) {
  EXPECT_EQ(Ask("\n", 0), "\nBase system\n" + kLoadPackagesPrompt);
  EXPECT_EQ(ReadFile(MOD), all_);
  EXPECT_FALSE(Exists(TMP));
  EXPECT_FALSE(Exists(TMP2));

  WriteFile(MOD, content_);
  Ask("1\n", 0);  // package 1 with its lines; the required package whole
  EXPECT_EQ(ReadFile(MOD), a1_ + Marked(a2_) + Marked(a3_) + r1_ + Marked(r2_));

  WriteFile(MOD, content_);
  Ask("3, 2\n", 0);
  EXPECT_EQ(ReadFile(MOD), r1_ + Marked(r2_) + b1_ + b2_ + c1_);

  WriteFile(MOD, content_);
  Ask("n\n", 0);  // nothing, not even the required lines
  EXPECT_EQ(ReadFile(MOD), "");
}

TEST_F(PackageQuestionTest, ARequiredLineKeepsTheLinesThatContinueIt) {
  // The required package stands before any optional package, and again
  // after one that is not chosen: its continuation lines go with it.
  std::string r3 = Line('*', "Runtime part", "r/3");
  WriteFile(MOD, title_ + r1_ + r2_ + r3 + a1_ + r1_ + r3 + b1_ + b2_);
  EXPECT_EQ(Ask("2\n", 0), "\nBase system\n" + kLoadPackagesPrompt);
  EXPECT_EQ(ReadFile(MOD), r1_ + Marked(r2_) + r3 + r1_ + r3 + b1_ + b2_);
}

TEST_F(PackageQuestionTest, ANumberChoosesThePackageListedUnderIt) {
  // A package line whose class is neither 'O', 'R' nor '*' is listed as a
  // package; its number must choose it, not the next 'O' package.
  std::string odd = Line('o', "Odd", "o/1");
  WriteFile(MOD, title_ + a1_ + odd + b1_ + b2_);
  std::string output = Ask("?\n2\n", 0);
  EXPECT_NE(output.find(ListingLine(2, "Odd") + ListingLine(3, "Beta")), std::string::npos);
  EXPECT_EQ(ReadFile(MOD), odd);
}

TEST_F(PackageQuestionTest, InvalidAnswersQuitAndStepBack) {
  std::string again = "Not a valid selection\n\n" + kLoadPackagesPrompt;
  EXPECT_EQ(
      Ask("x\n1 1\n0\n ALL\n3,4\n-1\n2\n", 0),
      "\nBase system\n" + kLoadPackagesPrompt + again + again + again + again + again + again);
  EXPECT_EQ(ReadFile(MOD), r1_ + Marked(r2_) + b1_ + b2_);

  WriteFile(MOD, content_);
  EXPECT_EQ(Ask("q\nn\n^\n", 1), "\nBase system\n" + kLoadPackagesPrompt +
                                     "Are you sure you want to quit? [yes] " + kLoadPackagesPrompt);
  EXPECT_EQ(ReadFile(MOD), title_ + all_);  // marked, nothing chosen

  WriteFile(MOD, content_);
  EXPECT_EQ(EndOfRun("QUIT\n\n", 0), kLoadPackagesPrompt + kQuitPrompt + kExit);
}

TEST_F(PackageQuestionTest, EndOfInputAtTheQuestionEndsTheRun) {
  EXPECT_EQ(EndOfRun("", 1), kLoadPackagesPrompt + kExit);
}

TEST_F(PackageQuestionTest, HelpShowsTheListingAndTheWordingOfTheMode) {
  std::string listing = "\nChoices are:\n\n\n" + ListingLine(1, "Alpha") + ListingLine(2, "Beta") +
                        ListingLine(3, "Gamma");
  EXPECT_EQ(Ask("?\n2\n", 0), "\nBase system\n" + kLoadPackagesPrompt + "\n" + kLoadHelp + listing +
                                  kGreeting + kLoadPackagesPrompt);

  // Remove mode, a title whose default is not 'A'.
  WriteFile(MOD, TocTitle(1, false, "Base system") + a1_ + b1_);
  std::string output = Ask("?\n\n", 0, Mode::kRemove);
  EXPECT_EQ(output.substr(0, 48), "\nBase system\nPackage numbers to remove: [none] \n");
  EXPECT_NE(output.find("Select 'all' to remove all packages"), std::string::npos);
  EXPECT_EQ(ReadFile(MOD), "");
}

TEST_F(CatalogueTest, ACategoryWithoutOptionalPackagesAsksNothing) {
  std::string r1 = TocEntry(4, 'F', 'R', "Core", "aa", 1, "core/1");
  std::string r2 = TocEntry(4, 'F', 'R', "Core", "aa", 1, "core/2");
  WriteFile(MOD, TocTitle(4, false, "Core") + r1 + r2);
  int result = -2;
  EXPECT_EQ(RunUnit([&] {
              result = InstallModule(MOD, Mode::kVerify, 3, {.scratch = TMP, .listing = TMP2});
            }).out,
            "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(MOD), r1 + Marked(r2));

  WriteFile(MOD, TocTitle(5, true, "Empty"));
  EXPECT_EQ(RunUnit([&] {
              result = InstallModule(MOD, Mode::kVerify, 1, {.scratch = TMP, .listing = TMP2});
            }).out,
            "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(MOD), "");
}

class ListingTest : public CatalogueTest {
 protected:
  std::string Category(int packages) {
    std::string text = TocTitle(1, true, "Many");
    for (int i = 1; i <= packages; ++i) {
      text += TocEntry(1, 'F', 'O', "Package " + std::to_string(i), "aa", 1, "p");
      text += TocEntry(1, 'F', '*', "Package " + std::to_string(i), "aa", 1, "q");
    }
    return text;
  }
  std::string Lines(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += ListingLine(i, "Package " + std::to_string(i));
    return text;
  }
  // The listing of MOD (28 or 30 packages) with `input`.
  std::string Show(const std::string& input, PackageDisplay show) {
    int n = -1;
    std::string output = RunUnit([&] { n = DisplayPackages(MOD, show, TMP2); }, input).out;
    EXPECT_TRUE(n == 28 || n == 30) << n;
    return output;
  }
  const std::string head_ = "\nChoices are:\n\n\n";
  const std::string more_ = "\nMore? [yes] ";
};

TEST_F(ListingTest, PausesAfterEveryFourteenthLineWhenMoreFollow) {
  WriteFile(MOD, Category(30));
  EXPECT_EQ(Show("\ny\n", PackageDisplay::kListing),
            head_ + Lines(1, 14) + more_ + Lines(15, 28) + more_ + Lines(29, 30));
  WriteFile(MOD, Category(28));
  EXPECT_EQ(Show("\n", PackageDisplay::kListing), head_ + Lines(1, 14) + more_ + Lines(15, 28));
  // Any other answer ends the listing; end of input goes on.
  EXPECT_EQ(Show("no\n", PackageDisplay::kListing), head_ + Lines(1, 14) + more_);
  EXPECT_EQ(Show("", PackageDisplay::kListing), head_ + Lines(1, 14) + more_ + Lines(15, 28));
  EXPECT_EQ(Show("", PackageDisplay::kTitle), "\nMany\n");
  EXPECT_FALSE(Exists(TMP2));
}

TEST_F(PackageQuestionTest, AllDropsEveryTitleLineWhereverItStands) {
  // Title lines after the first, and lines after the counted ones, are not
  // kept; only a category that starts with its one title is changed in place.
  std::string second_title = TocTitle(1, true, "Base again");
  WriteFile(MOD, title_ + a1_ + second_title + c1_);
  Ask("\n", 0);
  EXPECT_EQ(ReadFile(MOD), a1_ + c1_);

  WriteFile(MOD, content_ + b1_);
  Ask("all\n", 0);
  EXPECT_EQ(ReadFile(MOD), all_);  // the tenth line is past the nine counted
  EXPECT_FALSE(Exists(TMP));
}
