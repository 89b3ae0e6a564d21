// Standard input ends at every kind of question: a question ends the run
// with status 1 and leaves no working file, a "More?" pause goes on, the
// legibility check of a catalogue means no. A strict run (ZULSTRICT) ends
// there with status 2 and a line that names the question, as it does where
// a question would refuse an answer and ask again.
#include <gtest/gtest.h>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/texts.hpp"

namespace {

// Category 1: 30 packages, default all. Category 2: one package far larger
// than the disk, default none.
void WriteToc(const HostileMedium& m) {
  std::string toc = TocHeader("Medium") + TocTitle(1, true, "Many");
  for (int i = 1; i <= 30; ++i) {
    toc += TocEntry(1, 'F', 'O', "Pkg " + std::to_string(i), "01", 1, "p" + std::to_string(i));
  }
  // Ten lines of almost a terabyte each (the size field has 12 columns).
  toc += TocTitle(2, false, "Huge");
  for (int i = 0; i < 10; ++i) {
    toc += TocEntry(2, 'F', i == 0 ? 'O' : '*', "Giant", "02", 999999999999LL, "h");
  }
  m.Toc(toc);
}

// The question of a prompt as a strict run names it: without its default
// and the colon before it.
std::string QuestionOf(const std::string& prompt) {
  std::string question = prompt.substr(0, prompt.rfind(" ["));
  if (question.ends_with(':')) question.pop_back();
  return question;
}

// A mount point that holds the medium's table of contents one directory
// down, so that the product menu is asked.
std::string MountPointWithAProduct(const HostileMedium& m) {
  std::string media = m.root() + "/media";
  MakeDirs(media + "/product");
  WriteFile(media + "/product/01.toc", ReadFile(m.cdrom() + "/01.toc"));
  return media;
}

}  // namespace

TEST(EndOfInput, EveryQuestionEndsTheRunWithStatusOneAndNoWorkingFile) {
  HostileMedium m;
  WriteToc(m);
  std::string media = MountPointWithAProduct(m);
  const std::string c = m.cdrom() + "\n";
  struct Case {
    std::string input;
    std::string last_prompt;
  };
  const Case cases[] = {
      {"", "Enter CD-ROM mount point: [/mnt/cdrom] "},
      {"q\n", "Are you sure you want to quit? [yes] "},
      {media + "\n", "Enter product number to load: [1] "},
      {c, "Enter pathname to install directory: [" + m.inst() + "] "},
      {c + "new\n", "Would you like to create it? [yes] "},
      {c + "\n", "Package numbers to load: [all] "},
      // The summary pauses once; end of input there goes on.
      {c + "\n\n\n", "Is this correct? [yes] "},
      {c + "\n\n1\n\n\n", "Would you like to attempt to load anyway? [no] "},
      {c + "\n\n1\n\n\nn\n", "Would you like to restart? [no] "},
      {c + "\n\n\n\n\n", "List file names while loading? [no] "},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.input);
    RunResult r = m.Run("-load", k.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(EndsWith(r.out, k.last_prompt + kExit)) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(ListDir(m.tmp()).empty());
    RunResult strict = m.Run("-load", k.input, {{"ZULSTRICT", "1"}});
    EXPECT_EQ(strict.status, 2);
    EXPECT_EQ(MaskSpace(strict.out), MaskSpace(r.out));
    EXPECT_EQ(strict.err, "install: refused at \"" + QuestionOf(k.last_prompt) +
                              "\": the answers ended here\n");
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
  EXPECT_FALSE(Exists(m.inst() + "/new"));
  EXPECT_EQ(ListDir(m.inst()), std::vector<std::string>{});
}

TEST(EndOfInput, PausesGoOnAsEnterDoes) {
  HostileMedium m;
  WriteToc(m);
  // The package listing after '?' pauses after lines 14 and 28.
  RunResult listing = m.Run("-load", m.cdrom() + "\n\n?\n");
  EXPECT_EQ(Count(listing.out, "More? [yes] "), 2);
  EXPECT_NE(listing.out.find("  30 " + std::string("Pkg 30") + std::string(48, ' ') + "\n"),
            std::string::npos)
      << listing.out;
  EXPECT_EQ(listing.status, 1);

  // The summary pauses once; verification, with 62 lines to show, three
  // times.
  RunResult verify = m.Run("-verify", m.cdrom() + "\n\n\n\n");
  EXPECT_EQ(Count(verify.out, "More? [yes] "), 1);
  EXPECT_NE(verify.out.find("Is this correct? [yes] "), std::string::npos);
  EXPECT_EQ(verify.status, 1);  // the confirmation itself is a question
  RunResult checked = m.Run("-verify", m.cdrom() + "\n\n\n\n\n\n");
  EXPECT_EQ(checked.status, 0);
  EXPECT_EQ(Count(checked.out, "More? [yes] "), 4);
  EXPECT_NE(checked.out.find("Missing file --> p30\n"), std::string::npos) << checked.out;
  EXPECT_NE(checked.out.find("Number of missing files: 30\n"), std::string::npos);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(EndOfInput, AtTheLegibilityCheckMeansNo) {
  HostileMedium m;
  WriteFile(m.inst() + "/de.nls", "5,Einhängepunkt:\n67,Lesbar?\n");
  RunResult r = m.Run("-load", "", {{"LANG", "de_DE"}});
  EXPECT_NE(r.out.find("Lesbar?\n\nIs the previous statement legible in your native language? "
                       "[yes] \nChanging message interaction back to English\n"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(EndsWith(r.out, "Enter CD-ROM mount point: [/mnt/cdrom] " + kExit));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

// Wherever a question would refuse an answer and ask it again, a strict run
// ends instead: what it printed until then is what a run without ZULSTRICT
// prints, then the farewell; one line on standard error names the question,
// the answer and why; status 2; nothing is loaded or made.
TEST(StrictAnswers, EveryRefusedAnswerEndsTheRunThere) {
  HostileMedium m;
  WriteToc(m);
  std::string media = MountPointWithAProduct(m);
  WriteFile(m.inst() + "/file", "");
  const std::string c = m.cdrom() + "\n";
  struct Case {
    std::string option;
    std::string input;
    std::string refusal;  // after "install: refused at "
  };
  const Case cases[] = {
      {"-load", "/no/such\n",
       "\"Enter CD-ROM mount point\": /no/such: Unable to locate mount point (No such file or "
       "directory)"},
      {"-load", m.outside() + "\n",
       "\"Enter CD-ROM mount point\": " + m.outside() +
           ": Unable to recognize the format of the CD-ROM"},
      {"-load", "q\nmaybe\n", "\"Are you sure you want to quit?\": maybe: not yes or no"},
      {"-load", media + "\n3\n", "\"Enter product number to load\": 3: Not a valid selection"},
      // A quit declined at the product question is taken as a product number.
      {"-load", media + "\nq\nn\n", "\"Enter product number to load\": q: Not a valid selection"},
      {"-verify", c + "nothere\n",
       "\"Enter pathname to install directory\": nothere: You do not have write access (No such "
       "file or directory)"},
      {"-verify", c + "file\n",
       "\"Enter pathname to install directory\": file: Cannot change current working directory "
       "(Not a directory)"},
      {"-load", c + "a/b\n\n",
       "\"Enter pathname to install directory\": a/b: Cannot create directory (No such file or "
       "directory)"},
      {"-load", c + "new\nperhaps\n", "\"Would you like to create it?\": perhaps: not yes or no"},
      {"-load", c + "\n31\n", "\"Package numbers to load\": 31: Not a valid selection"},
      {"-load", c + "\n\n\n\nmaybe\n", "\"Is this correct?\": maybe: not yes or no"},
      {"-load", c + "\n\n1\n\n\nperhaps\n",
       "\"Would you like to attempt to load anyway?\": perhaps: not yes or no"},
      {"-load", c + "\n\n1\n\n\nn\nperhaps\n",
       "\"Would you like to restart?\": perhaps: not yes or no"},
      {"-load", c + "\n\n\n\n\nperhaps\n",
       "\"List file names while loading?\": perhaps: not yes or no"},
      // Text that is not plain is shown in caret notation.
      {"-load", c + "\n\n\n\n\n\x1b[2J\n",
       "\"List file names while loading?\": ^[[2J: not yes or no"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.input);
    RunResult plain = m.Run(k.option, k.input);
    RunResult strict = m.Run(k.option, k.input, {{"ZULSTRICT", "1"}});
    EXPECT_EQ(strict.status, 2) << strict.out;
    EXPECT_EQ(strict.err, "install: refused at " + k.refusal + "\n");
    ASSERT_TRUE(EndsWith(strict.out, kExit));
    std::string before = MaskSpace(strict.out.substr(0, strict.out.size() - kExit.size()));
    EXPECT_EQ(MaskSpace(plain.out).substr(0, before.size()), before);
    // Without ZULSTRICT the question is asked again.
    EXPECT_GT(plain.out.size(), strict.out.size());
    EXPECT_EQ(plain.err, "");
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
  EXPECT_EQ(ListDir(m.inst()), std::vector<std::string>{"file"});
}
