#include "messages/print.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "messages/catalogue.hpp"
#include "messages/english.hpp"
#include "support/inprocess.hpp"
#include "support/tempdir.hpp"

namespace {

// Loads the catalogue `content` written as de.nls in a fresh directory,
// answering the legibility check with `answers`; returns what was printed.
std::string LoadGerman(const std::string& content, const std::string& answers,
                       const std::string& name = "de.nls") {
  TempDir dir;
  WriteFile(dir / name, content);
  ForgetMessageChoice();
  std::string code = "de";
  StdioCapture io(answers);
  LoadMessages(code, dir.path(), "de_DE");
  return io.Output();
}

std::string Printed(int number) {
  StdioCapture io;
  nprintf(static_cast<Msg>(number));  // catalogue lines are looked up by number
  return io.Output();
}

}  // namespace

TEST(LocaleMapping, NamesGiveTheirCatalogueCodes) {
  EXPECT_EQ(MapLocaleToCode("zh", "zh"), "zh");
  EXPECT_EQ(MapLocaleToCode("zh_CN.GB2312", "zh"), "zh");
  EXPECT_EQ(MapLocaleToCode("zh_HK.dechanzi", "zh"), "zh");
  EXPECT_EQ(MapLocaleToCode("zh_TW.big5", "zh"), "b5");
  EXPECT_EQ(MapLocaleToCode("zh_HK.BIG5", "zh"), "b5");
  EXPECT_EQ(MapLocaleToCode("Zh_TW", "Zh"), "b5");
  EXPECT_EQ(MapLocaleToCode("zh_TW", "zh"), "tw");
  EXPECT_EQ(MapLocaleToCode("zh_HK", "zh"), "tw");
  EXPECT_EQ(MapLocaleToCode("japanese", "ja"), "jp");
  EXPECT_EQ(MapLocaleToCode("ja_JP.SJIS", "ja"), "jp");
  EXPECT_EQ(MapLocaleToCode("Ja_JP", "Ja"), "jp");
  EXPECT_EQ(MapLocaleToCode("ja_JP.eucJP", "ja"), "ja");
  EXPECT_EQ(MapLocaleToCode("de_DE", "de"), "de");
}

TEST(Catalogue, EnglishWithoutSearchForEnAndC) {
  for (const char* code : {"en", "C", ""}) {
    ForgetMessageChoice();
    std::string c = code;
    StdioCapture io;
    LoadMessages(c, "/nonexistent", code);
    EXPECT_EQ(io.Output(), "") << code;
    EXPECT_EQ(MessagesInUse(), CatalogueState::kEnglish);
    EXPECT_EQ(numrec, englishcount);
  }
}

TEST(Catalogue, NotFoundReportsDifferOnFirstAndLaterAttempts) {
  TempDir dir;
  ForgetMessageChoice();
  std::string code = "EN";
  {
    StdioCapture io;
    LoadMessages(code, dir.path(), "EN_US");
    EXPECT_EQ(io.Output(),
              "\nUnable to locate message file on all known CD-ROM mount points.\n"
              "Another attempt will be made after you specify the location of the CD-ROM\n");
  }
  EXPECT_EQ(MessagesInUse(), CatalogueState::kEnglish);
  code = "C.";
  StdioCapture io;
  LoadMessages(code, dir.path(), "C.UTF-8");
  EXPECT_EQ(io.Output(),
            "\nUnable to locate the \"c..nls\" message file for locale \"C.UTF-8\"\n"
            "No further attempt will be made - defaulting to English!\n");
}

TEST(Catalogue, RecordsTextsContinuationsAndScanOrder) {
  std::string out = LoadGerman(
      "67,Koennen Sie das lesen?\n"
      "5,Einhaengepunkt:\n"
      ",zweite Zeile\n"
      "7 x,mit, Kommas\n"
      "\n"
      "10,zehn\n"
      "12,zwoelf\n"
      "11,elf\n"
      "42,  zwei Blanks\n",
      "\ny\n");
  EXPECT_EQ(out,
            "Koennen Sie das lesen?\n"
            "\nIs the previous statement legible in your native language? [yes] "
            "\nContinue installation with the selected language interaction? [yes] ");
  EXPECT_EQ(MessagesInUse(), CatalogueState::kTranslated);
  EXPECT_EQ(numrec, 8);
  // The scan stops at the first larger number: 67 comes first, so message 5
  // is never reached.
  EXPECT_EQ(Printed(5), "");
  out = LoadGerman(
      "5,Einhaengepunkt:\n,zweite Zeile\n7 x,mit, Kommas\n10,zehn\n12,zwoelf\n"
      "11,elf\n42,  zwei Blanks\n",
      "yes\nYES\n");
  EXPECT_EQ(Printed(5), "Einhaengepunkt:\nzweite Zeile\n");
  EXPECT_EQ(Printed(7), "mit, Kommas\n");
  EXPECT_EQ(Printed(11), "");
  EXPECT_EQ(Printed(42), "  zwei Blanks\n");
  EXPECT_EQ(Printed(41), "");  // no fall-back to English
  UnloadMessages();
  EXPECT_EQ(Printed(5), "");
  UseEnglishMessages();
}

TEST(Catalogue, MalformedLinesEndTheLoadWithTheLineNumber) {
  struct Case {
    std::string content;
    int line;
  };
  const Case cases[] = {
      {"5,eins\n\nno comma here\n", 3},
      {"5,eins\r\n\r\nkein Komma\r\n", 3},  // a carriage return alone is a blank line
      {"5,eins\n   \n", 2},
      {",ohne Nummer\n", 1},  // nothing to continue
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "de.nls", c.content);
    ForgetMessageChoice();
    std::string code = "de";
    StdioCapture io;
    LoadMessages(code, dir.path(), "de_DE");
    EXPECT_EQ(io.Output(), "Error loading message translation file \"" + (dir / "de.nls") +
                               "\" at line: " + std::to_string(c.line) +
                               "\nNo further attempt will be made - defaulting to English!\n");
    EXPECT_EQ(MessagesInUse(), CatalogueState::kEnglish);
    EXPECT_EQ(numrec, englishcount);
  }
}

TEST(Catalogue, LegibilityNoOrEndOfInputFallsBackToEnglish) {
  for (const char* answers : {" y\n", "y\nn\n", ""}) {
    std::string out = LoadGerman("67,Lesbar?\n", answers);
    EXPECT_EQ(MessagesInUse(), CatalogueState::kEnglish) << answers;
    EXPECT_NE(out.find("\nChanging message interaction back to English\n"), std::string::npos);
  }
  std::string out = LoadGerman("67,Lesbar?\n", "nein\n");
  EXPECT_EQ(out.find("Continue installation"), std::string::npos);
}

TEST(Catalogue, SearchOrderNameFormsOuterUpperCaseFromTheFourth) {
  TempDir program;
  TempDir other;
  // The upper-case form in the program directory loses to nothing earlier;
  // a lower-case ".nls-1" anywhere searched comes before it.
  WriteFile(program / "DE.NLS", "67,upper\n");
  ForgetMessageChoice();
  std::string code = "de";
  {
    StdioCapture io("\n\n");
    LoadMessages(code, program.path(), "de_DE");
    EXPECT_EQ(io.Output().substr(0, 6), "upper\n");
  }
  WriteFile(program / "de.nls-1", "67,third form\n");
  ForgetMessageChoice();
  StdioCapture io("\n\n");
  LoadMessages(code, program.path(), "de_DE");
  EXPECT_EQ(io.Output().substr(0, 11), "third form\n");
  UseEnglishMessages();
}

TEST(Catalogue, LargeCataloguesAreNotCut) {
  std::string content = "67,ok\n";
  for (int i = 100; i < 5100; ++i)
    content += std::to_string(i) + ",text " + std::to_string(i) + "\n";
  LoadGerman(content, "\n\n");
  EXPECT_EQ(numrec, 5001);
  EXPECT_EQ(Printed(5099), "text 5099\n");
  UseEnglishMessages();
}

TEST(Statements, PauseBeforeEvery24thLine) {
  UseEnglishMessages();
  std::string out;
  {
    StdioCapture io("\ny\nYES\n");
    nprintf(Msg::kHelpText);
    out = io.Output();
  }
  size_t lines = 0, prompts = 0, pos = 0;
  while ((pos = out.find("More? [yes] ", pos)) != std::string::npos) ++prompts, ++pos;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(prompts, 3u);
  EXPECT_EQ(lines, 74u);
  EXPECT_EQ(out.substr(0, 46), "The VOXA installation tool is called INSTALL.\n");

  StdioCapture io("n\n");
  nprintf(Msg::kHelpText);
  std::string cut = io.Output();
  lines = 0;
  for (char c : cut) lines += c == '\n';
  EXPECT_EQ(lines, 23u);
  EXPECT_EQ(cut.substr(cut.size() - 12), "More? [yes] ");
}

TEST(EnglishTable, HelpTextShapeAndLineLengths) {
  std::vector<std::string> help;
  for (int i = 0; i < englishcount; ++i) {
    EXPECT_LE(std::string(englishcache[i].text).size(), 79u) << englishcache[i].text;
    if (i > 0) {
      EXPECT_LE(englishcache[i - 1].number, englishcache[i].number);
    }
    if (englishcache[i].number == 42) help.push_back(englishcache[i].text);
  }
  ASSERT_EQ(help.size(), 74u);
  std::vector<int> blank;
  for (size_t i = 0; i < help.size(); ++i) {
    if (help[i].empty()) blank.push_back(static_cast<int>(i) + 1);
  }
  EXPECT_EQ(blank, (std::vector<int>{7, 11, 15, 18, 22, 24, 31, 35, 40, 47, 48, 54, 57, 60, 63, 65,
                                     67, 69, 72}));
}

TEST(GermanCatalogue, TranslatesEveryMessageInTheShapeOfTheEnglishTable) {
  std::map<int, std::vector<std::string>> german, english;
  for (int i = 0; i < englishcount; ++i) {
    english[englishcache[i].number].push_back(englishcache[i].text);
  }
  std::istringstream in(ReadFile(std::string(SOURCE_ROOT) + "/demo/catalogues/de.nls"));
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    size_t comma = line.find(',');
    ASSERT_NE(comma, std::string::npos) << line;
    if (comma > 0) number = std::stoi(line.substr(0, comma));
    std::string text = line.substr(comma + 1);
    size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    EXPECT_LE(characters, 79u) << text;
    german[number].push_back(text);
  }
  ASSERT_EQ(german.size(), english.size());
  for (const auto& [n, lines] : english) {
    ASSERT_EQ(german[n].size(), lines.size()) << "message " << n;
    // Blank lines stay where they are: the help text keeps its pages.
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(german[n][i].empty(), lines[i].empty()) << "message " << n << " line " << i + 1;
    }
  }
}
