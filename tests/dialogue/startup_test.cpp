// The command line, the help text, the catalogue of a translation and the
// end of a run, seen from outside the program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/process.hpp"
#include "support/tempdir.hpp"
#include "support/texts.hpp"

TEST(CommandLine, RejectedCommandLinesPrintTheUsageLine) {
  TempDir tmp;
  RunOptions options;
  options.tmpdir = tmp.path();
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{}, kUsage},
      {{"-loadx"}, "invalid option: -loadx\n" + kUsage},
      {{"-LOAD"}, "invalid option: -LOAD\n" + kUsage},
      {{"-VERSION"}, "invalid option: -VERSION\n" + kUsage},
      {{"--version"}, "invalid option: --version\n" + kUsage},
      {{"-loadx", "extra"}, "invalid option: -loadx\ntoo many arguments\n" + kUsage},
      // -verify and -remove take a table of contents as -load does.
      {{"-remove", "a.toc", "b"}, kRemoveWarning + "too many arguments\n" + kUsage},
      {{"-verify", "a.toc", "b"}, "too many arguments\n" + kUsage},
      {{"-load", "a.toc", "b"}, "too many arguments\n" + kUsage},
  };
  // The same to a script, but for the status.
  for (bool strict : {false, true}) {
    options.env["ZULSTRICT"] = strict ? std::optional<std::string>("1") : std::nullopt;
    for (const Case& c : cases) {
      RunResult r = RunInstall(c.args, options);
      EXPECT_EQ(r.out, c.out);
      EXPECT_EQ(r.status, strict ? 2 : 0);
    }
  }
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}

TEST(CommandLine, HelpPrintsTheHelpTextWithPausesAndIgnoresFurtherWords) {
  RunOptions options;
  options.input = "\n\n\n";
  RunResult all = RunInstall({"-help", "extra"}, options);
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.out.substr(0, 47), "\nThe VOXA installation tool is called INSTALL.\n");
  EXPECT_EQ(all.out.find("too many"), std::string::npos);
  // A blank line, 74 lines, a line end; three pauses after lines 23, 46, 69.
  EXPECT_EQ(Count(all.out, "\n"), 76);
  std::vector<int> pauses;
  int line = 0;
  for (size_t i = 0; i < all.out.size(); ++i) {
    if (all.out[i] == '\n') ++line;
    if (all.out.compare(i, 12, "More? [yes] ") == 0) pauses.push_back(line - 1);
  }
  EXPECT_EQ(pauses, (std::vector<int>{23, 46, 69}));
  EXPECT_EQ(all.out.substr(all.out.size() - 39), "loaded again with the '-load' option.\n\n");

  options.input = "n\n";
  RunResult cut = RunInstall({"-help"}, options);
  EXPECT_EQ(cut.status, 0);
  EXPECT_EQ(Count(cut.out, "\n"), 1 + 23 + 1);
  EXPECT_EQ(cut.out.substr(cut.out.size() - 13), "More? [yes] \n");
}

TEST(CommandLine, VersionPrintsTheVersionInEveryRun) {
  TempDir tmp;
  RunOptions options;
  options.tmpdir = tmp.path();
  // Further words are ignored, as after -help; a script gets status 0 too.
  for (bool strict : {false, true}) {
    options.env["ZULSTRICT"] = strict ? std::optional<std::string>("1") : std::nullopt;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-version"}, {"-version", "extra", "words"}}) {
      RunResult r = RunInstall(args, options);
      EXPECT_EQ(r.out, std::string("install ") + INSTALL_VERSION + "\n");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.status, 0);
    }
  }
  // The copy made for media says the same.
  RunResult medium = RunBinary(MEDIUM_INSTALL_BINARY, {"-version"}, options);
  EXPECT_EQ(medium.out, std::string("install ") + INSTALL_VERSION + "\n");
  EXPECT_EQ(medium.status, 0);
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}

TEST(CommandLine, NamedTableOfContentsThatDoesNotOpen) {
  TempDir start;
  TempDir tmp;
  RunOptions options;
  options.cwd = start.path();
  options.tmpdir = tmp.path();
  std::string real = std::filesystem::canonical(start.path()).string();
  // A directory is no table of contents either, and is told so at once.
  MakeDirs(start / "adir");
  // -verify and -remove take one as -load does.
  for (const char* option : {"-load", "-verify", "-remove"}) {
    for (const char* name : {"missing.toc", "adir", "."}) {
      SCOPED_TRACE(std::string(option) + " " + name);
      RunResult r = RunInstall({option, name}, options);
      std::string path = real + "/" + name;
      if (std::string(name) == ".") path = real;
      std::string warning = std::string(option) == "-remove" ? kRemoveWarning : "";
      EXPECT_EQ(r.out, warning + "Warning: File does not exist, File: \"" + path + "\"\n\n");
      EXPECT_EQ(r.status, 0);
    }
  }
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}

TEST(Exit, QuitAtTheFirstQuestionRemovesTheWorkingFiles) {
  TempDir tmp;
  RunOptions options;
  options.tmpdir = tmp.path();
  options.input = "q\n\n";
  RunResult r = RunInstall({"-load"}, options);
  EXPECT_EQ(r.out, kGreeting +
                       "\nEnter CD-ROM mount point: [/mnt/cdrom] "
                       "Are you sure you want to quit? [yes] " +
                       kExit);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(ListDir(tmp.path()).empty());

  options.input = "^\n";  // then the input ends at the confirmation
  r = RunInstall({"-verify"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(EndsWith(r.out, kExit)) << r.out;
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}

TEST(Translation, CatalogueBesideTheProgramAfterTheLegibilityCheck) {
  TempDir dir;
  std::filesystem::copy_file(INSTALL_BINARY, dir / "install");
  WriteFile(dir / "de.nls",
            "4,Druecken Sie die Eingabetaste.\n"
            "5,Einhaengepunkt:\n"
            "39,Wirklich beenden?\n"
            "41,Auf Wiedersehen...\n"
            "67,Koennen Sie diesen Text lesen?\n");
  TempDir tmp;
  RunOptions options;
  options.tmpdir = tmp.path();
  options.env["LANG"] = "de_DE";
  options.input = "\n\nq\ny\n";
  RunResult yes = RunBinary(dir / "install", {"-load"}, options);
  EXPECT_EQ(yes.out,
            "Koennen Sie diesen Text lesen?\n"
            "\nIs the previous statement legible in your native language? [yes] "
            "\nContinue installation with the selected language interaction? [yes] "
            "\nDruecken Sie die Eingabetaste.\n"
            "\nEinhaengepunkt: [/mnt/cdrom] Wirklich beenden? [yes] "
            "\nAuf Wiedersehen...\n");
  EXPECT_EQ(yes.status, 0);

  options.input = "n\nq\ny\n";
  RunResult no = RunBinary(dir / "install", {"-load"}, options);
  EXPECT_EQ(no.out,
            "Koennen Sie diesen Text lesen?\n"
            "\nIs the previous statement legible in your native language? [yes] "
            "\nChanging message interaction back to English\n" +
                kGreeting +
                "\nEnter CD-ROM mount point: [/mnt/cdrom] "
                "Are you sure you want to quit? [yes] " +
                kExit);
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}
