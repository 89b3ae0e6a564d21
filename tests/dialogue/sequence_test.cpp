// Whole runs of -load, -verify and -remove against a real distribution.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "common/tocformat.hpp"
#include "medium.hpp"
#include "support/texts.hpp"

namespace {

const std::string kHeader = "\nSample Product 1.0\n------------------\n";

std::string Categories(const std::string& verb) {
  return kHeader + "\nBase system\nPackage numbers to " + verb + ": [all] " +
         "\nDocumentation\nPackage numbers to " + verb + ": [all] ";
}

std::string Summary(const std::string& participle) {
  return "\n\nPackage selection complete\n--------------------------\n\n"
         "You have chosen the following packages to be " +
         participle +
         "\n"
         "\nBase system\n\t" +
         Pad("Tools") + "\n\t" + Pad("Libraries") +
         "\n"
         "\nDocumentation\n\t" +
         Pad("Guide") + "\n\t" + Pad("FAQ") + "\n\n";
}

}  // namespace

TEST(WholeRun, LoadAcceptingEveryDefault) {
  Medium m;
  RunResult r = m.Run("-load", m.cdrom() + "\n\n\n\n\n\n");
  EXPECT_EQ(MaskSpace(r.out), kGreeting + kMountPrompt + InstallPrompt(m.inst()) +
                                  Categories("load") + Summary("loaded") +
                                  "Is this correct? [yes] " +
                                  "\nTotal size of chosen packages in megabytes: 0.0\n"
                                  "Available space in megabytes: N\n"
                                  "\nList file names while loading? [no] "
                                  "\nLoading package(s), Please wait...\n"
                                  "\n\nFinished loading package(s)\n\n" +
                                  kExit);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& f : Medium::Files()) {
    EXPECT_EQ(ReadFile(m.inst() + "/" + f), "content of " + f + "\n") << f;
  }
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(WholeRun, VerifyReportsMissingEntries) {
  Medium m;
  m.Populate({"bin/run", "tools/a.txt"});
  RunResult r = m.Run("-verify", m.cdrom() + "\n\n\n\n\n");
  EXPECT_EQ(r.out, kGreeting + kMountPrompt + InstallPrompt(m.inst()) + Categories("verify") +
                       Summary("verified") +
                       "Is this correct? [yes] \n"
                       "\nVerifying package(s), Please wait...\n"
                       "\n"
                       "\nVerifying Base system\n"
                       "\tVerifying " +
                       Pad("Tools") +
                       "\n"
                       "\t   Missing file --> tools/b.txt\n"
                       "\tVerifying " +
                       Pad("Libraries") +
                       "\n"
                       "\t   Missing file --> lib/x.so\n"
                       "\nVerifying Documentation\n"
                       "\tVerifying " +
                       Pad("Guide") +
                       "\n"
                       "\t   Missing file --> doc/guide.txt\n"
                       "\tVerifying " +
                       Pad("FAQ") +
                       "\n"
                       "\t   Missing file --> doc/faq.txt\n"
                       "\nNumber of missing files: 4\n"
                       "Number of missing directories: none\n"
                       "\nFinished verifying package(s)\n" +
                       kExit);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(WholeRun, RemoveListingFileNames) {
  Medium m;
  m.Populate(Medium::Files());
  RunResult r = m.Run("-remove", m.cdrom() + "\n\n\n\n\ny\n");
  EXPECT_EQ(r.out, kRemoveWarning + kGreeting + kMountPrompt + InstallPrompt(m.inst()) +
                       Categories("remove") + Summary("removed") + "Is this correct? [yes] \n" +
                       "List file names while removing? [no] "
                       "\nRemoving package(s), Please wait...\n"
                       "\n"
                       "  Deleted: tools\n"
                       "Warning: File does not exist, File: tools/a.txt\n"
                       "Warning: File does not exist, File: tools/b.txt\n"
                       "  Deleted: lib/x.so\n"
                       "  Deleted: doc/guide.txt\n"
                       "  Deleted: doc/faq.txt\n"
                       "\nFinished removing package(s)\n" +
                       kExit);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Exists(m.inst() + "/bin/run"));  // required lines stay
  EXPECT_FALSE(Exists(m.inst() + "/tools"));
  EXPECT_FALSE(Exists(m.inst() + "/lib/x.so"));
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(ProductMenu, ProductsBelowAMountPointWithoutTableOfContents) {
  Medium m;
  std::string media = m.root() + "/media";
  MakeDirs(media + "/alpha");
  MakeDirs(media + "/beta");
  std::filesystem::copy(m.cdrom(), media + "/alpha");
  std::filesystem::copy(m.cdrom(), media + "/beta");
  std::string toc = ReadFile(media + "/beta/01.toc");
  std::filesystem::remove(media + "/beta/01.toc");
  WriteFile(media + "/beta/01.TOC", "   Beta Product" + toc.substr(toc.find('\n')));
  std::vector<std::string> order = ListingOrder(media);
  int beta = order[0] == "beta" ? 1 : 2;
  // The relative answer is shown as an absolute path in the menu.
  RunResult r = m.Run("-load", "../media\n?\n3\n" + std::to_string(beta) + "\n\nq\ny\n");
  std::string canonical_media = std::filesystem::canonical(media).string();
  const std::string& question = kProductPrompt;
  EXPECT_EQ(r.out, kGreeting + kMountPrompt + kProductMenuHeading + "   1 - " + canonical_media +
                       "/" + order[0] +
                       "\n"
                       "   2 - " +
                       canonical_media + "/" + order[1] + "\n" + question +
                       "\nSpecify the number adjacent to the product pathname\n" + question +
                       "Not a valid selection\n" + question + InstallPrompt(m.inst()) +
                       "\nBeta Product\n------------\n"
                       "\nBase system\nPackage numbers to load: [all] "
                       "Are you sure you want to quit? [yes] " +
                       kExit);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(StepBack, CategoriesInstallDirectoryConfirmationAndListFiles) {
  Medium m;
  // Category 1: "1" (Tools), category 2: "^" back to category 1, which is
  // asked again with its default; "2" (Libraries); category 2: "2" (FAQ).
  // '^' at the confirmation starts the categories again; this time "none"
  // and "1"; '^' at the list-files question starts them once more; then
  // '^' at category 1 goes back to the installation directory; quit there.
  std::string input = m.cdrom() + "\n\n1\n^\n2\n2\n^\nnone\n1\n\n^\n^\nq\ny\n";
  RunResult r = m.Run("-load", input);
  std::string cat1 = "\nBase system\nPackage numbers to load: [all] ";
  std::string cat2 = "\nDocumentation\nPackage numbers to load: [all] ";
  std::string head =
      "\n\nPackage selection complete\n--------------------------\n\n"
      "You have chosen the following packages to be loaded\n";
  EXPECT_EQ(MaskSpace(r.out), kGreeting + kMountPrompt + InstallPrompt(m.inst()) + kHeader + cat1 +
                                  cat2 + cat1 + cat2 + head + "\nBase system\n\t" +
                                  Pad("Libraries") + "\n\nDocumentation\n\t" + Pad("FAQ") +
                                  "\n\nIs this correct? [yes] " + kHeader + cat1 + cat2 + head +
                                  "\nDocumentation\n\t" + Pad("Guide") +
                                  "\n\nIs this correct? [yes] "
                                  "\nTotal size of chosen packages in megabytes: 0.0\n"
                                  "Available space in megabytes: N\n"
                                  "\nList file names while loading? [no] " +
                                  kHeader + cat1 + InstallPrompt(m.inst()) +
                                  "Are you sure you want to quit? [yes] " + kExit);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(Summary, MorePromptEndsTheListingOnNoOrQuit) {
  Medium m;
  std::string toc = TocHeader("Many") + TocTitle(1, true, "Lots");
  for (int i = 1; i <= 20; ++i) {
    toc += TocEntry(1, 'F', 'O', "Package " + std::to_string(i), "01", 1, "p" + std::to_string(i));
  }
  WriteFile(m.cdrom() + "/01.toc", toc);
  for (const char* answer : {"no", "q"}) {
    RunResult r = m.Run("-verify", m.cdrom() + "\n\n\n" + answer + "\nq\ny\n");
    std::string listing = "\nLots\n";
    for (int i = 1; i <= 15; ++i) listing += "\t" + Pad("Package " + std::to_string(i)) + "\n";
    std::string expected_tail = listing +
                                "\nMore? [yes] \nIs this correct? [yes] "
                                "Are you sure you want to quit? [yes] " +
                                kExit;
    ASSERT_GE(r.out.size(), expected_tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - expected_tail.size()), expected_tail) << answer;
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(SpaceCheck, InsufficientSpaceQuestions) {
  Medium m;
  WriteFile(m.cdrom() + "/01.toc",
            TocHeader("Huge") + TocTitle(1, true, "Big") +
                TocEntry(1, 'F', 'O', "Enormous", "01", 999999999999LL, "bin/run"));
  const std::string lead =
      "Is this correct? [yes] "
      "\nTotal size of chosen packages in megabytes: 953674.3\n"
      "Available space in megabytes: N\n"
      "\nInsufficient space to load the packages\n"
      "Would you like to attempt to load anyway? [no] ";
  // A declined quit at load-anyway goes on to the list-files question.
  RunResult r = m.Run("-load", m.cdrom() + "\n\n\n\nq\nn\nq\ny\n");
  std::string out = MaskSpace(r.out);
  std::string tail = lead +
                     "Are you sure you want to quit? [yes] "
                     "\nList file names while loading? [no] "
                     "Are you sure you want to quit? [yes] " +
                     kExit;
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_TRUE(ListDir(m.tmp()).empty());

  // No, then the default of the restart question ends the run.
  r = m.Run("-load", m.cdrom() + "\n\n\n\n\n\n");
  out = MaskSpace(r.out);
  tail = lead + "Would you like to restart? [no] " + kExit;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(ListDir(m.tmp()).empty());

  // A restart goes back to the installation directory, default again.
  r = m.Run("-load", m.cdrom() + "\n\n\n\n\n?\ny\nq\ny\n");
  out = MaskSpace(r.out);
  tail = lead +
         "Would you like to restart? [no] "
         "\nEnter 'y' or 'yes' to restart the installation procedure, 'n' or 'no' to quit\n\n"
         "Would you like to restart? [no] " +
         InstallPrompt(m.inst()) + "Are you sure you want to quit? [yes] " + kExit;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_FALSE(Exists(m.inst() + "/bin/run"));
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(InstallDirectory, VerifyReportsAMissingDirectoryAsNotWritable) {
  Medium m;
  RunResult r = m.Run("-verify", m.cdrom() + "\nnothere\nq\ny\n");
  EXPECT_EQ(r.out, kGreeting + kMountPrompt + InstallPrompt(m.inst()) +
                       "You do not have write access to: \"nothere\"\n" + InstallPrompt(m.inst()) +
                       "Are you sure you want to quit? [yes] " + kExit);
  EXPECT_FALSE(Exists(m.inst() + "/nothere"));
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(InstallDirectory, LoadOffersToCreateAMissingDirectory) {
  Medium m;
  RunResult r = m.Run("-load", m.cdrom() + "\nsub\nno\nsub\n?\n\nq\ny\n");
  EXPECT_EQ(r.out, kGreeting + kMountPrompt + InstallPrompt(m.inst()) +
                       "\nDirectory does not exist: sub\nWould you like to create it? [yes] " +
                       InstallPrompt(m.inst()) +
                       "\nDirectory does not exist: sub\nWould you like to create it? [yes] "
                       "Would you like to create it? [yes] " +
                       kHeader +
                       "\nBase system\nPackage numbers to load: [all] "
                       "Are you sure you want to quit? [yes] " +
                       kExit);
  EXPECT_TRUE(std::filesystem::is_directory(m.inst() + "/sub"));
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(NameForms, UpperCaseVersionedTableOfContentsNamesTheArchives) {
  Medium m;
  for (const char* code : {"01", "02", "03"}) {
    std::filesystem::rename(m.cdrom() + "/" + code + ".tar", m.cdrom() + "/" + code + ".TAR;1");
  }
  std::filesystem::rename(m.cdrom() + "/01.toc", m.cdrom() + "/01.TOC;1");
  RunResult r = m.Run("-load", m.cdrom() + "\n\n\n\n\n\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const std::string& f : Medium::Files()) EXPECT_TRUE(Exists(m.inst() + "/" + f)) << f;
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(MountPoint, HelpUnenterableAndNoTableOfContents) {
  Medium m;
  MakeDirs(m.root() + "/empty");
  RunResult r = m.Run("-load", "?\n/no/such/dir\n" + m.root() + "/empty\n^\n\n");
  EXPECT_EQ(r.out, kGreeting + kMountPrompt +
                       "\nSelect the mount point where the tar files are located.\n" +
                       kMountPrompt + "Unable to locate mount point \"/no/such/dir\".\n" +
                       kMountPrompt +
                       "Unable to recognize the format of the CD-ROM mounted on: \"" + m.root() +
                       "/empty\"\n\n"
                       "Please specify the location of the CD-ROM where the install program "
                       "resides.\n" +
                       kMountPrompt + "Are you sure you want to quit? [yes] " + kExit);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(RecordedAnswers, ReplayedInAnotherDirectoryGiveTheSameLoad) {
  Medium m;
  // The size of the runtime makes the space check offer a restart.
  WriteFile(m.cdrom() + "/01.toc",
            TocHeader("Medium") + TocTitle(1, true, "Base system") +
                TocEntry(1, 'F', 'O', "Runtime", "01", 999999999999LL, "bin/run") +
                TocEntry(1, 'F', 'O', "Libraries", "02", 1, "lib/x.so") +
                TocTitle(2, true, "Documentation") +
                TocEntry(2, 'F', 'O', "Guide", "02", 1, "doc/guide.txt"));
  // A step back, a declined load, a restart, then "none" for the second
  // category and the load anyway.
  std::string input = m.cdrom() + "\n\n1\n^\n\n\n\n\ny\n\n\nnone\n\ny\n\n";
  std::string record = m.root() + "/answers";
  RunResult recorded = m.Run("-load", input, {{"ZULANSWERS", record}});
  EXPECT_EQ(recorded.status, 0) << recorded.out;
  EXPECT_EQ(ReadFile(record), input);
  struct stat st;
  ASSERT_EQ(stat(record.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Snapshot(m.inst()),
            (std::map<std::string, std::string>{{"bin", "D"},
                                                {"bin/run", "F:content of bin/run\n"},
                                                {"lib", "D"},
                                                {"lib/x.so", "F:content of lib/x.so\n"}}));

  // The answers given again, in another directory, as standard input.
  TempDir other;
  RunOptions options = m.Options();
  options.cwd = other.path();
  options.input = ReadFile(record);
  RunResult replayed = RunInstall({"-load"}, options);
  EXPECT_EQ(replayed.status, 0) << replayed.out;
  EXPECT_EQ(Snapshot(other.path()), Snapshot(m.inst()));

  // A record that cannot be made is said once, and the run goes on.
  RunResult unrecorded = m.Run("-load", "q\ny\n", {{"ZULANSWERS", m.root() + "/no/such/file"}});
  EXPECT_EQ(unrecorded.status, 0);
  EXPECT_EQ(unrecorded.err, "install: cannot record the answers in " + m.root() +
                                "/no/such/file: No such file or directory\n");
}

// Answers by the name of their question: recorded once, then replayed
// from the file alone; where the file and the run disagree, one line names
// the key and the run ends (status 2) with nothing loaded.
TEST(RecordedAnswers, ByNameTheyGoToTheirQuestionOrEndTheRun) {
  Medium m;
  std::string responses = m.root() + "/responses";
  RunResult recorded = m.Run("-load", m.cdrom() + "\n\n1\n\n\n\n", {{"ZULRESPONSES", responses}});
  ASSERT_EQ(recorded.status, 0) << recorded.out;
  std::string as_recorded = ReadFile(responses);
  EXPECT_NE(as_recorded.find("\npackages Base system=1\npackages Documentation=\n"),
            std::string::npos)
      << as_recorded;
  auto edit = [&](const std::string& from, const std::string& to) {
    std::string text = as_recorded;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    const char* what;
    std::string responses;
    std::string directory;  // the installation directory, where not the one recorded
    std::string said;       // on standard error; empty: loaded
  } rows[] = {
      {"the same medium", as_recorded, "", ""},
      {"another medium", edit("medium=Sample", "medium=Another"), "",
       "medium: the answers are for"},
      {"another category", edit("packages Base system=", "packages Base=1\nx="), "",
       "no answer for packages Base system"},
      {"a missing key", edit("confirm=\n", ""), "", "no answer for confirm"},
      {"a directory not made yet", as_recorded, "/new", "no answer for create-directory"},
      {"a refused answer", edit("Base system=1", "Base system=7"), "",
       "packages Base system: 7: Not a valid selection"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir inst;
    std::string text = row.responses;
    if (!row.directory.empty()) {
      size_t at = text.find("install-directory=") + 18;
      text.replace(at, text.find('\n', at) - at, inst.path() + row.directory);
    }
    WriteFile(responses, text);
    RunOptions options = m.Options();
    options.cwd = inst.path();
    options.env["ZULRESPONSES"] = responses;
    options.input = "q\ny\n";  // never read
    RunResult replayed = RunInstall({"-load"}, options);
    EXPECT_EQ(replayed.status, row.said.empty() ? 0 : 2) << replayed.out << replayed.err;
    EXPECT_NE(replayed.err.find(row.said), std::string::npos) << replayed.err;
    EXPECT_EQ(Exists(inst.path() + "/tools/a.txt"), row.said.empty());
  }
}

// The exit status of every way a run ends, with ZULSTRICT and without; a
// strict run prints on standard output exactly what the other prints.
TEST(StrictAnswers, ExitStatusesAScriptCanRead) {
  const std::string many_toc = [] {
    std::string toc = TocHeader("Many") + TocTitle(1, true, "Lots");
    for (int i = 1; i <= 20; ++i) {
      toc +=
          TocEntry(1, 'F', 'O', "Package " + std::to_string(i), "01", 1, "p" + std::to_string(i));
    }
    return toc;
  }();
  struct Case {
    std::string what;
    std::string option;
    std::function<std::string(const Medium&)> prepare;  // gives the answers
    std::map<std::string, std::optional<std::string>> env;
    int strict;
    int plain;
  };
  const Case cases[] = {
      {"a finished load",
       "-load",
       [](const Medium& m) { return m.cdrom() + "\n\n\n\n\n\n"; },
       {},
       0,
       0},
      {"a verification that finds everything",
       "-verify",
       [](const Medium& m) {
         m.Populate(Medium::Files());
         return m.cdrom() + "\n\n\n\n\n";
       },
       {},
       0,
       0},
      {"a load that fails",
       "-load",
       [](const Medium& m) {
         std::filesystem::remove(m.cdrom() + "/03.tar");
         return m.cdrom() + "\n\n\n\n\n\n";
       },
       {},
       1,
       1},
      {"the answers ended", "-load", [](const Medium&) { return std::string(); }, {}, 2, 1},
      {"a quit", "-load", [](const Medium&) { return std::string("q\ny\n"); }, {}, 3, 0},
      // Neither '?' nor '^' is a refusal where a question takes neither.
      {"a quit after help and a step back at the create question",
       "-load",
       [](const Medium& m) { return m.cdrom() + "\nnew\n?\n^\nn\nq\ny\n"; },
       {},
       3,
       0},
      {"not loaded for lack of space, no restart",
       "-load",
       [](const Medium& m) {
         WriteFile(m.cdrom() + "/01.toc",
                   TocHeader("Huge") + TocTitle(1, true, "Big") +
                       TocEntry(1, 'F', 'O', "Enormous", "01", 999999999999LL, "bin/run"));
         return m.cdrom() + "\n\n\n\n\n\n";
       },
       {},
       3,
       0},
      // The report pauses after its first 20 lines; "n" ends it there.
      {"a verification ended at a pause",
       "-verify",
       [&](const Medium& m) {
         WriteFile(m.cdrom() + "/01.toc", many_toc);
         for (int i = 1; i <= 20; ++i) WriteFile(m.inst() + "/p" + std::to_string(i), "");
         return m.cdrom() + "\n\n\n\n\nn\n";
       },
       {},
       3,
       0},
      {"missing entries",
       "-verify",
       [](const Medium& m) { return m.cdrom() + "\n\n\n\n\n"; },
       {},
       4,
       0},
      {"sizes that differ",
       "-verify",
       [](const Medium& m) {
         m.Populate(Medium::Files());
         return m.cdrom() + "\n\n\n\n\n";
       },
       {{"ZULVERIFY", "size"}},
       4,
       0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Medium m;
    std::string input = k.prepare(m);
    RunResult plain = m.Run(k.option, input, k.env);
    std::map<std::string, std::optional<std::string>> strict_env = k.env;
    strict_env["ZULSTRICT"] = "1";
    RunResult strict = m.Run(k.option, input, strict_env);
    EXPECT_EQ(plain.status, k.plain) << plain.out << plain.err;
    EXPECT_EQ(strict.status, k.strict) << strict.out << strict.err;
    EXPECT_EQ(MaskSpace(strict.out), MaskSpace(plain.out));
    EXPECT_EQ(strict.err.find("refused"), k.strict == 2 ? 9u : std::string::npos) << strict.err;
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }

  // A table of contents named on the command line that does not open.
  Medium m;
  RunOptions options = m.Options();
  options.input = "";
  RunResult plain = RunInstall({"-load", m.root() + "/none.toc"}, options);
  options.env = {{"ZULSTRICT", "1"}};
  RunResult strict = RunInstall({"-load", m.root() + "/none.toc"}, options);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.out, plain.out);
}

// The replay of the issue: the answers recorded for a load, given again
// where the installation directory cannot be written. Without ZULSTRICT the
// next recorded answer (an Enter) is taken as the directory and the product
// is loaded into the directory the installer started in; a strict run ends
// at the refused directory with status 2, and nothing is unpacked anywhere.
TEST(RecordedAnswers, AStrictReplayStopsAtADirectoryItCannotWrite) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  Medium m;
  ASSERT_EQ(chmod(m.root().c_str(), 0755), 0);
  ASSERT_EQ(chmod(m.tmp().c_str(), 0755), 0);
  ASSERT_EQ(chown(m.tmp().c_str(), kOtherUser, kOtherUser), 0);
  ASSERT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
  std::string target = m.root() + "/target";
  MakeDirs(target);
  ASSERT_EQ(chmod(target.c_str(), 0555), 0);
  std::string answers = m.root() + "/answers";
  WriteFile(answers, m.cdrom() + "\n" + target + "\n\n\n\n\n\n");
  std::string program = m.InstallerForOtherUser();
  RunOptions options = m.Options();
  options.as_other_user = true;
  options.input = ReadFile(answers);

  options.env = {{"ZULSTRICT", "1"}};
  RunResult strict = RunBinary(program, {"-load"}, options);
  EXPECT_EQ(strict.status, 2) << strict.out;
  EXPECT_EQ(strict.err, "install: refused at \"Enter pathname to install directory\": " + target +
                            ": You do not have write access (Permission denied)\n");
  EXPECT_TRUE(EndsWith(strict.out, InstallPrompt(m.inst()) + "You do not have write access to: \"" +
                                       target + "\"\n" + kExit))
      << strict.out;
  EXPECT_TRUE(ListDir(target).empty());
  EXPECT_TRUE(ListDir(m.inst()).empty());
  EXPECT_TRUE(ListDir(m.tmp()).empty());

  options.env = {};
  RunResult plain = RunBinary(program, {"-load"}, options);
  EXPECT_EQ(plain.status, 0) << plain.out << plain.err;
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(plain.out.substr(0, strict.out.size() - kExit.size()),
            strict.out.substr(0, strict.out.size() - kExit.size()));
  EXPECT_NE(plain.out.find(kLoadFinished), std::string::npos);
  for (const std::string& f : Medium::Files()) EXPECT_TRUE(Exists(m.inst() + "/" + f)) << f;
  EXPECT_TRUE(ListDir(target).empty());
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}
