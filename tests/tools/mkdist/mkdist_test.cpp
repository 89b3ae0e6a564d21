// The distribution builder, run as its own program: the lines it writes,
// the archives, rebuilds, and the inputs it must refuse.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/tocformat.hpp"
#include "support/process.hpp"
#include "support/tempdir.hpp"
#include "toc/tocline.hpp"

namespace {

const char kManifest[] =
    "# a test distribution\n"
    "heading Test Product 2.1\n"
    "\n"
    "category all Base\n"
    "  package required 01 Runtime\n"
    "    path bin/tool\n"
    "    path lib\n"
    "  package optional 02 Documentation of every single tool in the product, 54!\n"
    "    path doc/a.txt\n"
    "category none Extras\n"
    "\tpackage optional 02 Samples   \n"
    "\t\tpath share/samples/\n";

// A staging tree for kManifest, the table of contents it must give, and the
// members of each archive in order.
struct Example {
  TempDir dir;
  std::string staging = dir / "staging";
  std::string manifest = dir / "m.txt";

  Example() {
    MakeDirs(staging + "/bin");
    MakeDirs(staging + "/lib/sub");
    MakeDirs(staging + "/doc");
    MakeDirs(staging + "/share/samples");
    WriteFile(staging + "/bin/tool", std::string(1500, 'x'));
    WriteFile(staging + "/lib/z.so", "zz");
    WriteFile(staging + "/lib/sub/a", "a");
    WriteFile(staging + "/lib/b-c", "");  // '-' sorts before '/', and it is not below sub
    WriteFile(staging + "/doc/a.txt", "doc\n");
    WriteFile(staging + "/share/samples/one", "1");
    WriteFile(staging + "/doc/unlisted", "not in the manifest");
    WriteFile(manifest, kManifest);
  }

  std::string ExpectedToc() const {
    const std::string docs = "Documentation of every single tool in the product, 54!";
    return TocHeader("Test Product 2.1") + TocTitle(1, true, "Base") +
           TocEntry(1, 'F', 'R', "Runtime", "01", 1500, "bin/tool") +
           TocEntry(1, 'D', '*', "Runtime", "01", 0, "lib") +
           TocEntry(1, 'F', '*', "Runtime", "01", 0, "lib/b-c") +
           TocEntry(1, 'D', '*', "Runtime", "01", 0, "lib/sub") +
           TocEntry(1, 'F', '*', "Runtime", "01", 1, "lib/sub/a") +
           TocEntry(1, 'F', '*', "Runtime", "01", 2, "lib/z.so") +
           TocEntry(1, 'F', 'O', docs, "02", 4, "doc/a.txt") + TocTitle(2, false, "Extras") +
           TocEntry(2, 'D', 'O', "Samples", "02", 0, "share/samples") +
           TocEntry(2, 'F', '*', "Samples", "02", 1, "share/samples/one");
  }

  RunResult Build(const std::string& target, std::vector<std::string> options = {},
                  const RunOptions& run = {}) const {
    options.insert(options.end(), {manifest, staging, target});
    return RunBinary(MKDIST_BINARY, options, run);
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    lines.push_back(text.substr(begin, end - begin));
  }
  return lines;
}

std::vector<std::string> Members(const std::string& archive, const char* mode = "tf") {
  RunResult listed = RunBinary("/bin/tar", {mode, archive}, {});
  EXPECT_EQ(listed.status, 0) << listed.err;
  return Lines(listed.out);
}

const std::vector<std::string> kArchive01 = {"bin/tool", "lib/",      "lib/b-c",
                                             "lib/sub/", "lib/sub/a", "lib/z.so"};
const std::vector<std::string> kArchive02 = {"doc/a.txt", "share/samples/", "share/samples/one"};

}  // namespace

TEST(Mkdist, WritesEveryFieldInItsColumnsAndOneArchivePerCode) {
  Example example;
  RunResult run = example.Build(example.dir / "cd");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ListDir(example.dir / "cd"),
            (std::vector<std::string>{"01.tar", "01.toc", "02.tar", "MEDIUM", "SHA256SUMS"}));
  std::string toc = ReadFile(example.dir / "cd/01.toc");
  EXPECT_EQ(toc, example.ExpectedToc());

  // The installer's own reader sees the same fields.
  std::vector<std::string> lines = Lines(toc);
  ASSERT_EQ(lines.size(), 12u);
  // The columns spelled out: code, type and class, the description in
  // columns 7-60, the archive code in 65-66, the size in 68-79, the path
  // from 80 on.
  EXPECT_EQ(lines[2], "01 F R Runtime" + std::string(47, ' ') + "    01         1500bin/tool");
  EXPECT_EQ(lines[9], "02 * N Extras");
  TocLine runtime(lines[2]), extras(lines[9]);
  EXPECT_EQ(runtime.PackageClass(), 'R');
  EXPECT_EQ(runtime.ArchiveCode(), "01");
  EXPECT_EQ(runtime.Size(), 1500);
  EXPECT_EQ(runtime.EntryPath(), "bin/tool");
  EXPECT_EQ(runtime.Description(), "Runtime" + std::string(47, ' '));
  EXPECT_TRUE(extras.IsTitle());
  EXPECT_FALSE(extras.DefaultsToAll());
  EXPECT_EQ(extras.Text(), "Extras");

  EXPECT_EQ(Members(example.dir / "cd/01.tar"), kArchive01);
  EXPECT_EQ(Members(example.dir / "cd/02.tar"), kArchive02);
}

TEST(Mkdist, NameFormsAndCompressedForms) {
  Example example;
  ASSERT_EQ(example.Build(example.dir / "v4", {"--name-form", "4"}).status, 0);
  EXPECT_EQ(ListDir(example.dir / "v4"),
            (std::vector<std::string>{"01.TAR;1", "01.TOC;1", "02.TAR;1", "MEDIUM", "SHA256SUMS"}));
  EXPECT_EQ(Members(example.dir / "v4/01.TAR;1"), kArchive01);

  ASSERT_EQ(example.Build(example.dir / "z", {"--name-form=01.toc-1", "--compress=2"}).status, 0);
  EXPECT_EQ(ListDir(example.dir / "z"),
            (std::vector<std::string>{"01.toc-1", "01TAR.Z", "02TAR.Z", "MEDIUM", "SHA256SUMS"}));
  std::string data = ReadFile(example.dir / "z/02TAR.Z");
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ(data.substr(0, 2), "\x1f\x8b");  // gzip data
  EXPECT_EQ(Members(example.dir / "z/02TAR.Z", "tzf"), kArchive02);
  EXPECT_EQ(ReadFile(example.dir / "z/01.toc-1"), example.ExpectedToc());

  ASSERT_EQ(example.Build(example.dir / "z0", {"--compress", "0"}).status, 0);
  EXPECT_EQ(ListDir(example.dir / "z0"),
            (std::vector<std::string>{"01.toc", "01tar.z", "02tar.z", "MEDIUM", "SHA256SUMS"}));
}

TEST(Mkdist, CarriesTheInstallerAndItsCatalogues) {
  Example example;
  std::string german = std::string(SOURCE_ROOT) + "/demo/catalogues/de.nls";
  RunResult built = example.Build(example.dir / "cd",
                                  {"--installer", MEDIUM_INSTALL_BINARY, "--catalogue", german});
  ASSERT_EQ(built.status, 0) << built.err;
  // The build log names the version of the installer carried.
  EXPECT_EQ(Lines(built.out).back(), std::string("mkdist: the medium carries install ") +
                                         INSTALL_VERSION + " (" + MEDIUM_INSTALL_BINARY + ")");
  EXPECT_EQ(ListDir(example.dir / "cd"),
            (std::vector<std::string>{"01.tar", "01.toc", "02.tar", "MEDIUM", "SHA256SUMS",
                                      "de.nls", "install"}));
  // The medium records the installer it carries, and sha256sum checks it.
  EXPECT_NE(
      ReadFile(example.dir / "cd/MEDIUM").find(std::string("\ninstaller: ") + INSTALL_VERSION),
      std::string::npos);
  RunOptions in_medium;
  in_medium.cwd = example.dir / "cd";
  EXPECT_EQ(RunBinary("/usr/bin/sha256sum", {"--check", "--quiet", "SHA256SUMS"}, in_medium).status,
            0);
  struct stat program;
  ASSERT_EQ(stat((example.dir / "cd/install").c_str(), &program), 0);
  EXPECT_EQ(program.st_mode & 07777, 0755u);
  // Started from the medium, the installer finds the catalogue beside it.
  TempDir tmp;
  RunOptions options;
  options.tmpdir = tmp.path();
  options.input = "\n\nq\ny\n";
  options.env = {{"LANG", "de_DE.UTF-8"}};
  RunResult r = RunBinary(example.dir / "cd/install", {"-load"}, options);
  EXPECT_NE(r.out.find("Einhängepunkt der CD-ROM eingeben: [/mnt/cdrom] "), std::string::npos)
      << r.out;
  // A catalogue changed on the medium is refused once the medium is known.
  std::string catalogue = ReadFile(german);
  catalogue.replace(catalogue.find("CD-ROM"), 6, "CD-RAM");
  WriteFile(example.dir / "cd/de.nls", catalogue);
  options.input = "\n\n" + example.dir / "cd" + "\nq\ny\n";  // legible, go on, the medium
  RunResult changed = RunBinary(example.dir / "cd/install", {"-load"}, options);
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.err.find("de.nls: its checksum is not the one SHA256SUMS gives"),
            std::string::npos)
      << changed.err;
  // A file that the medium has already is not written over.
  RunResult clash =
      example.Build(example.dir / "clash", {"--catalogue", example.dir / "cd/01.toc"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_FALSE(Exists(example.dir / "clash"));
}

TEST(Mkdist, WithoutAPathCarriesTheInstallerInstalledBesideIt) {
  Example example;
  // An installation under some prefix, as a package unpacked anywhere has it.
  std::string prefix = example.dir / "prefix";
  MakeDirs(prefix + "/bin");
  MakeDirs(prefix + "/libexec/install");
  std::filesystem::copy_file(MKDIST_BINARY, prefix + "/bin/mkdist");
  std::filesystem::copy_file(MEDIUM_INSTALL_BINARY, prefix + "/libexec/install/install");
  std::string installed = prefix + "/libexec/install/install";
  // --installer takes no operand for its path, wherever it stands.
  const std::vector<std::vector<std::string>> command_lines = {
      {"--installer", example.manifest, example.staging, example.dir / "cd1"},
      {example.manifest, example.staging, example.dir / "cd2", "--installer"},
      {example.manifest, example.staging, "--installer", example.dir / "cd3"},
      {"--installer", "--compress", "none", example.manifest, example.staging, example.dir / "cd4"},
  };
  for (const std::vector<std::string>& args : command_lines) {
    RunResult run = RunBinary(prefix + "/bin/mkdist", args, {});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).back(), std::string("mkdist: the medium carries install ") +
                                         INSTALL_VERSION + " (" + installed + ")");
    std::string target = args.back() == "--installer" ? args[2] : args.back();
    EXPECT_EQ(ReadFile(target + "/install"), ReadFile(installed)) << target;
  }
  // A named program still comes first; one without a version is carried and
  // said to be of unknown version.
  std::string other = example.dir / "other";
  WriteFile(other, "#!/bin/sh\n");
  RunResult run = example.Build(example.dir / "cd5", {"--installer", other});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out).back(),
            "mkdist: the medium carries an installer of unknown version (" + other + ")");
  EXPECT_EQ(ReadFile(example.dir / "cd5/install"), "#!/bin/sh\n");

  // Nothing installed beside it: a command-line error, and nothing written.
  std::filesystem::remove(installed);
  run = RunBinary(prefix + "/bin/mkdist",
                  {"--installer", example.manifest, example.staging, example.dir / "cd6"}, {});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("installer \"" + installed + "\" is not a file"), std::string::npos)
      << run.err;
  EXPECT_FALSE(Exists(example.dir / "cd6"));

  RunResult version = RunBinary(MKDIST_BINARY, {"--version"}, {});
  EXPECT_EQ(version.out, std::string("mkdist ") + INSTALL_VERSION + "\n");
  EXPECT_EQ(version.status, 0);
}

TEST(Mkdist, RebuildsAreByteIdentical) {
  Example example;
  // The time MEDIUM gives, as reproducible builds set it.
  RunOptions epoch;
  epoch.env = {{"SOURCE_DATE_EPOCH", "1700000000"}};
  for (const char* compress : {"none", "1"}) {
    std::string first = example.dir / (std::string("a") + compress);
    std::string second = example.dir / (std::string("b") + compress);
    ASSERT_EQ(example.Build(first, {"--compress", compress}, epoch).status, 0);
    EXPECT_NE(ReadFile(first + "/MEDIUM").find("\nmade: 2023-11-14T22:13:20Z\n"),
              std::string::npos);
    // A later modification time must not change the archives.
    struct timespec later[2] = {{0, UTIME_NOW}, {2000000000, 0}};
    utimensat(AT_FDCWD, (example.staging + "/lib/z.so").c_str(), later, 0);
    sleep(1);  // and neither does a later second
    ASSERT_EQ(example.Build(second, {"--compress", compress}, epoch).status, 0);
    std::vector<std::string> names = ListDir(first);
    ASSERT_EQ(names, ListDir(second));
    for (const std::string& name : names) {
      EXPECT_EQ(ReadFile(first + "/" + name), ReadFile(second + "/" + name)) << name;
    }
  }
}

TEST(Mkdist, RefusesBadManifestsAndLeavesNothing) {
  struct Case {
    std::string manifest;
    std::string error;
  };
  const std::string head = "heading H\ncategory all C\npackage optional 01 P\n";
  const std::vector<Case> cases = {
      {head + "path bin/tool\nfile x\n", "m.txt:5: unknown keyword \"file\""},
      {head + "path bin/tool\npackage optional 01 " + std::string(55, 'd') + "\npath lib\n",
       "m.txt:5: description is 55 characters long"},
      {head + "path bin/tool\npackage optional 1 P2\npath lib\n", "m.txt:5: archive code \"1\""},
      {head + "path bin/tool\npackage optional 123 P2\npath lib\n",
       "m.txt:5: archive code \"123\""},
      {head + "path bin/to ol\n", "m.txt:4: path \"bin/to ol\" holds a blank or tab"},
      {head + "path bin\ttool\n", "m.txt:4: path \"bin\ttool\" holds a blank or tab"},
      {head + "path /bin/tool\n", "m.txt:4: path \"/bin/tool\" is absolute"},
      {head + "path lib/../bin\n", "m.txt:4: path \"lib/../bin\" has a \"..\" component"},
      {head + "path bin/missing\n", "m.txt:4: \"bin/missing\" is not in the staging tree"},
      {head + "path lib\npath lib/sub\n",
       "m.txt:5: \"lib/sub\" is already taken by the path on line 4"},
      {head + "category none D\n", "m.txt:3: package has no path"},
      {"heading H\npackage optional 01 P\npath lib\n",
       "m.txt:2: package before the first category"},
      {head + "path lib\npackage optional 01 P\npath bin\n", "m.txt:5: same kind and description"},
  };
  for (const Case& c : cases) {
    Example example;
    WriteFile(example.manifest, c.manifest);
    RunResult run = example.Build(example.dir / "cd");
    EXPECT_EQ(run.status, 1) << c.manifest;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << c.manifest << "\n" << run.err;
    EXPECT_EQ(ListDir(example.dir.path()), (std::vector<std::string>{"m.txt", "staging"}))
        << c.manifest;
  }
}

TEST(Mkdist, ReportsEveryFaultOfAManifestAtOnce) {
  Example example;
  WriteFile(example.manifest, "category maybe C\npackage optional 01 P\npath ../x\n");
  RunResult run = example.Build(example.dir / "cd");
  EXPECT_EQ(run.status, 1);
  for (const char* error : {"m.txt:1: category needs", "m.txt:2: package before",
                            "m.txt:3: path before", "m.txt: no heading line"}) {
    EXPECT_NE(run.err.find(error), std::string::npos) << error << "\n" << run.err;
  }
}

TEST(Mkdist, CategoriesStopAt99) {
  Example example;
  std::string manifest = "heading H\n";
  for (int i = 1; i <= 99; ++i) manifest += "category none C" + std::to_string(i) + "\n";
  manifest += "package optional 01 P\npath bin/tool\n";
  WriteFile(example.manifest, manifest);
  RunResult run = example.Build(example.dir / "cd");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadFile(example.dir / "cd/01.toc").find("\n99 * N C99\n99 F O P"), std::string::npos);

  WriteFile(example.manifest,
            "heading H\n" + std::string("category all C\n") + manifest.substr(10));
  run = example.Build(example.dir / "cd2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("m.txt:101: more than 99 categories"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(example.dir / "cd2"));
}

TEST(Mkdist, RefusesWhatTheStagingTreeCannotGive) {
  Example example;
  // A sparse file one byte past the 12 columns of the size field.
  int fd = open((example.staging + "/lib/huge").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  if (ftruncate(fd, 1'000'000'000'000LL) != 0) {
    close(fd);
    GTEST_SKIP() << "no sparse file of 10^12 bytes here";
  }
  close(fd);
  WriteFile(example.staging + "/doc/with blank", "x");
  WriteFile(example.manifest,
            "heading H\ncategory all C\npackage optional 01 P\npath lib\npath doc\n");
  RunResult run = example.Build(example.dir / "cd");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("m.txt:4: \"lib/huge\" has 1000000000000 bytes"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("m.txt:5: \"doc/with blank\" has a blank"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(example.dir / "cd"));
}

TEST(Mkdist, LeavesNoHalfWrittenDistribution) {
  Example example;
  // The table of contents is written, then gzip cannot be started.
  RunOptions no_gzip;
  no_gzip.env["PATH"] = "/nonexistent";
  RunResult run = RunBinary(
      MKDIST_BINARY, {"--compress", "0", example.manifest, example.staging, example.dir / "cd"},
      no_gzip);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gzip: could not be started (the program)"), std::string::npos) << run.err;
  EXPECT_EQ(ListDir(example.dir.path()), (std::vector<std::string>{"m.txt", "staging"}));

  // An existing distribution is never overwritten.
  MakeDirs(example.dir / "old");
  WriteFile(example.dir / "old/keep", "k");
  run = example.Build(example.dir / "old");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_EQ(ListDir(example.dir / "old"), std::vector<std::string>{"keep"});

  // A compressed medium is recognised by archive 02, so one package needs it.
  WriteFile(example.manifest, "heading H\ncategory all C\npackage optional 01 P\npath lib\n");
  run = example.Build(example.dir / "cd", {"--compress", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("archive code 02"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(example.dir / "cd"));
}
