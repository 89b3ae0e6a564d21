// Round trips: a distribution built by mkdist, loaded by the installer with
// every package, then verified and removed, gives back exactly the staging
// tree and then takes away exactly what it loaded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.hpp"
#include "support/tempdir.hpp"
#include <nlohmann/json.hpp>

namespace {

// Two categories (after the heading line); every kind of entry: a required package, directories
// with nested and empty subdirectories, a symbolic link, an empty file,
// binary content, packages spread over three archives and sharing them.
const char kManifestBody[] =
    "category all Base\n"
    "  package required 01 Runtime\n"
    "    path bin/tool\n"
    "    path etc/tool.conf\n"
    "  package optional 01 Libraries\n"
    "    path lib\n"
    "  package optional 02 Alias of the tool\n"
    "    path bin/alias\n"
    "category none Extras\n"
    "  package optional 02 Documentation\n"
    "    path doc\n"
    "  package optional 03 Examples\n"
    "    path share/examples\n"
    "    path share/README\n";

// What the operator types after the mount point (and product number) to
// choose every package: the installation directory, "all" for both
// categories and the confirmation.
std::string ChooseAll(const std::string& inst) { return inst + "\nall\nall\n\n"; }

void WriteStaging(const std::string& staging) {
  std::filesystem::create_directories(staging + "/bin");
  std::filesystem::create_directories(staging + "/etc");
  std::filesystem::create_directories(staging + "/lib/sub/deep");
  std::filesystem::create_directories(staging + "/lib/empty");
  std::filesystem::create_directories(staging + "/doc/guide");
  std::filesystem::create_directories(staging + "/share/examples");
  WriteFile(staging + "/bin/tool", "#!/bin/sh\necho tool\n");
  chmod((staging + "/bin/tool").c_str(), 0755);
  std::filesystem::create_symlink("tool", staging + "/bin/alias");
  WriteFile(staging + "/etc/tool.conf", "level = 3\n");
  WriteFile(staging + "/lib/libx.so",
            std::string("\0\1\2binary\377", 10) + std::string(70000, 'x'));
  WriteFile(staging + "/lib/sub/deep/y.dat", "deep\n");
  WriteFile(staging + "/doc/index.txt", "index\n");
  WriteFile(staging + "/doc/guide/01-start.txt", "start here\n");
  WriteFile(staging + "/share/examples/one.txt", "1\n");
  WriteFile(staging + "/share/README", "");
}

// Every entry below `root` by relative path: "D" for a directory, "L:" and
// the target for a symbolic link, "F:" and the content for a file, with
// "x" added when the owner may execute it.
bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One distribution directory built by mkdist from kManifest, and the runs
// of the installer against it.
class RoundTrip {
 public:
  RoundTrip() {
    WriteStaging(staging());
    MakeDirs(tmp());
  }

  std::string staging() const { return dir_ / "staging"; }
  std::string tmp() const { return dir_ / "tmp"; }
  std::string root() const { return dir_.path(); }

  // Builds the distribution into `target` with mkdist's options.
  void Build(const std::string& target, std::vector<std::string> options,
             const std::string& heading = "Round Trip 1.0") const {
    WriteFile(dir_ / "m.txt", "heading " + heading + "\n" + kManifestBody);
    options.insert(options.end(), {dir_ / "m.txt", staging(), target});
    RunResult r = RunBinary(MKDIST_BINARY, options, {});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  // Runs the installer in `inst` with a private TMPDIR, which must be empty
  // again afterwards.
  RunResult Run(const std::string& option, const std::string& inst, const std::string& input,
                const std::vector<std::string>& words = {},
                const std::map<std::string, std::optional<std::string>>& env = {}) const {
    RunOptions options;
    options.cwd = inst;
    options.tmpdir = tmp();
    options.input = input;
    options.env = env;
    std::vector<std::string> args = {option};
    args.insert(args.end(), words.begin(), words.end());
    RunResult r = RunInstall(args, options);
    EXPECT_EQ(r.status, 0) << option << "\n" << r.out << r.err;
    EXPECT_TRUE(ListDir(tmp()).empty()) << option;
    return r;
  }

  // Load, verify and remove against the distribution at `mount`; `product`
  // is the product number to answer (empty when the mount point holds the
  // table of contents itself).
  void LoadVerifyRemove(const std::string& mount, const std::string& product,
                        const std::string& inst,
                        const std::string& heading = "Round Trip 1.0") const {
    MakeDirs(inst);
    std::string lead = mount + "\n" + (product.empty() ? "" : product + "\n");
    std::string report = inst + ".jsonl";
    std::map<std::string, std::optional<std::string>> reported = {{"ZULREPORT", report}};

    RunResult load = Run("-load", inst, lead + ChooseAll(inst) + "\n", {}, reported);
    EXPECT_TRUE(Contains(load.out, "\n" + heading + "\n")) << load.out;
    EXPECT_TRUE(Contains(load.out, "Finished loading package(s)")) << load.out;
    EXPECT_EQ(Snapshot(inst), Snapshot(staging()));

    RunResult verify = Run("-verify", inst, lead + ChooseAll(inst), {}, reported);
    EXPECT_TRUE(Contains(verify.out, "Number of missing files: none\n")) << verify.out;
    EXPECT_TRUE(Contains(verify.out, "Number of missing directories: none\n")) << verify.out;
    EXPECT_FALSE(Contains(verify.out, "Missing")) << verify.out;

    RunResult remove = Run("-remove", inst, lead + ChooseAll(inst) + "\n", {}, reported);
    EXPECT_TRUE(Contains(remove.out, "Finished removing package(s)")) << remove.out;
    // The report of the three runs, as a machine reads it: each begins with
    // its operation and the five packages, and ends well with the count of
    // each kind of entry it names.
    std::vector<std::string> operations;
    std::map<std::string, int> run, all;  // entries by kind
    for (const std::string& line : Lines(ReadFile(report))) {
      nlohmann::json object = nlohmann::json::parse(line);
      std::string event = object["event"];
      ++all[event];
      if (event == "start") {
        operations.push_back(object["operation"]);
        EXPECT_EQ(object["medium"], heading);
        EXPECT_EQ(object["installation_directory"], inst);
      } else if (event == "end") {
        EXPECT_EQ(object["status"], 0);
        for (const auto& [kind, count] : run) EXPECT_EQ(object["counts"].value(kind, 0), count);
        run.clear();
      } else if (event != "package") {
        ++run[event];
      }
    }
    EXPECT_EQ(operations, (std::vector<std::string>{"load", "verify", "remove"}));
    EXPECT_EQ(all["package"], 15);
    EXPECT_GT(all["loaded"], 0);
    EXPECT_GT(all["deleted"], 0);
    // The required package stays whole: its first line carries 'R', its
    // later lines are continuation lines. The directories that tar made only
    // to hold entries are no entries themselves and stay too.
    std::map<std::string, std::string> left = {
        {"bin", "D"},
        {"bin/tool", Snapshot(staging())["bin/tool"]},
        {"etc", "D"},
        {"etc/tool.conf", Snapshot(staging())["etc/tool.conf"]},
        {"share", "D"}};
    EXPECT_EQ(Snapshot(inst), left);
  }

 private:
  TempDir dir_;
};

TEST(RoundTrip, PlainArchives) {
  RoundTrip t;
  t.Build(t.root() + "/cdrom", {});
  t.LoadVerifyRemove(t.root() + "/cdrom", "", t.root() + "/inst");
}

// A dry run asks everything and checks everything a run does, lists what
// the run would list with the names shown, and changes nothing.
TEST(RoundTrip, ADryRunListsWhatTheRunDoesAndChangesNothing) {
  RoundTrip t;
  std::string cdrom = t.root() + "/cdrom", inst = t.root() + "/inst";
  t.Build(cdrom, {});
  MakeDirs(inst);
  auto from_list = [](const std::string& out) { return out.substr(out.find("List file names")); };
  for (const char* operation : {"-load", "-remove"}) {
    SCOPED_TRACE(operation);
    std::string answers = cdrom + "\n" + ChooseAll(inst) + "y\n";
    std::map<std::string, std::string> before = Snapshot(inst);
    RunResult dry = t.Run(operation, inst, answers, {}, {{"ZULDRYRUN", "1"}, {"ZULSTRICT", "1"}});
    EXPECT_EQ(Snapshot(inst), before);
    RunResult real = t.Run(operation, inst, answers, {}, {{"ZULSTRICT", "1"}});
    EXPECT_NE(Snapshot(inst), before);
    EXPECT_EQ(from_list(dry.out), from_list(real.out));
    EXPECT_TRUE(Contains(dry.out, operation[1] == 'l' ? "\ndoc/index.txt\n" : "Deleted: doc\n"))
        << dry.out;
  }
}

TEST(RoundTrip, CompressedArchivesInEachForm) {
  RoundTrip t;
  for (const char* form : {"0", "1", "2"}) {
    SCOPED_TRACE(form);
    std::string cdrom = t.root() + "/cdrom" + form;
    t.Build(cdrom, {"--compress", form});
    t.LoadVerifyRemove(cdrom, "", t.root() + "/inst" + form);
  }
}

TEST(RoundTrip, TwoProductsBelowOneMountPoint) {
  RoundTrip t;
  std::string mount = t.root() + "/media";
  MakeDirs(mount);
  // Each product keeps its own name forms: plain archives named like its
  // table of contents, or compressed ones.
  t.Build(mount + "/alpha", {"--name-form", "4"}, "Product alpha");
  t.Build(mount + "/beta", {"--name-form", "2", "--compress", "2"}, "Product beta");
  ASSERT_FALSE(Exists(mount + "/01.toc"));
  ASSERT_TRUE(Exists(mount + "/alpha/01.TOC;1"));
  ASSERT_TRUE(Exists(mount + "/alpha/01.TAR;1"));
  // The menu lists the products in the order the directory gives them.
  std::vector<std::string> order = ListingOrder(mount);
  ASSERT_EQ(order.size(), 2u);
  for (int number = 1; number <= 2; ++number) {
    SCOPED_TRACE(order[number - 1]);
    const std::string& name = order[number - 1];
    t.LoadVerifyRemove(mount, std::to_string(number), t.root() + "/inst-" + name,
                       "Product " + name);
  }
}

// A load writes its receipt; with the medium gone, the receipt alone drives
// verification and removal, from another directory.
TEST(RoundTrip, AReceiptVerifiesAndRemovesWithoutTheMedium) {
  RoundTrip t;
  std::string cdrom = t.root() + "/cdrom", inst = t.root() + "/inst";
  std::string receipt = t.root() + "/receipts/app.toc";
  t.Build(cdrom, {});
  MakeDirs(inst);
  MakeDirs(t.root() + "/receipts");
  // Every package of the first category, the first package of the second.
  t.Run("-load", inst, cdrom + "\n" + inst + "\nall\n1\n\n\n", {},
        {{"ZULRECEIPT", "../receipts/app.toc"}});
  struct stat st;
  for (const char* suffix : {"", ".list", ".sums"}) {
    ASSERT_EQ(stat((receipt + suffix).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
  }
  EXPECT_TRUE(Contains(ReadFile(receipt + ".list"), "l 0777 0 \"bin/alias\" -> \"tool\"\n"));
  // The header, both titles, and the chosen lines as the medium has them.
  std::string toc = ReadFile(cdrom + "/01.toc"), kept = ReadFile(receipt);
  std::vector<std::string> medium = Lines(toc), lines = Lines(kept);
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[0], medium[0]);
  size_t at = 0;
  for (const std::string& line : lines) {
    while (at < medium.size() && medium[at] != line) ++at;
    EXPECT_LT(at, medium.size()) << "not a line of the medium, or out of its order: " << line;
  }
  EXPECT_TRUE(Contains(kept, "doc/index.txt\n"));
  EXPECT_FALSE(Contains(kept, "share/README"));
  EXPECT_EQ(lines.size(), medium.size() - 3) << kept;  // the examples' three lines are left out

  std::filesystem::remove_all(cdrom);
  std::string elsewhere = t.root() + "/elsewhere";
  MakeDirs(elsewhere);
  RunResult verify =
      t.Run("-verify", elsewhere, t.root() + "\n" + inst + "\nall\nall\n\n", {receipt});
  EXPECT_TRUE(Contains(verify.out, "Number of missing files: none\n")) << verify.out;
  EXPECT_TRUE(Contains(verify.out, "Number of missing directories: none\n")) << verify.out;
  // The contents, by the record of the load: a file changed since is named.
  RunOptions by_contents;
  by_contents.cwd = elsewhere;
  by_contents.tmpdir = t.tmp();
  by_contents.input = t.root() + "\n" + inst + "\nall\nall\n\n";
  by_contents.env = {{"ZULVERIFY", "content"}, {"ZULSTRICT", "1"}};
  for (bool changed : {false, true}) {
    if (changed) WriteFile(inst + "/doc/guide/01-start.txt", "start elsewhere\n");
    RunResult contents = RunInstall({"-verify", receipt}, by_contents);
    EXPECT_EQ(contents.status, changed ? 4 : 0) << contents.out << contents.err;
    EXPECT_EQ(Contains(contents.out, "  Content differs: doc/guide/01-start.txt\n"), changed);
    EXPECT_TRUE(Contains(contents.out, changed ? "\n1 files with a different content\n"
                                               : "\n0 files with a different content\n"))
        << contents.out;
  }
  // Removal by the record takes what the load wrote and nothing else: the
  // changed file stays, and so does a file the administrator added.
  WriteFile(inst + "/doc/local-notes.txt", "mine\n");
  RunOptions strict = by_contents;
  strict.input = t.root() + "\n" + inst + "\nall\nall\n\n\n";
  strict.env = {{"ZULSTRICT", "1"}};
  // The record serves only the receipt it was written beside: with the
  // receipt edited, neither verifies nor removes anything.
  std::string as_loaded = ReadFile(receipt), edited = as_loaded;
  edited.replace(edited.find("Trip 1.0"), 8, "Trip 1.1");
  WriteFile(receipt, edited);
  for (auto [operation, options, file] :
       {std::tuple{"-verify", &by_contents, ".sums"}, std::tuple{"-remove", &strict, ".list"}}) {
    RunResult refused = RunInstall({operation, receipt}, *options);
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_TRUE(Contains(refused.err, receipt + file + ": not the record of " + receipt))
        << refused.err;
  }
  EXPECT_TRUE(Exists(inst + "/doc/index.txt"));
  WriteFile(receipt, as_loaded);
  RunResult remove = RunInstall({"-remove", receipt}, strict);
  EXPECT_EQ(remove.status, 4) << remove.err;  // something was kept
  EXPECT_TRUE(Contains(remove.out,
                       "  Kept (changed since loading): doc/guide/01-start.txt\n"
                       "  Kept (not loaded): doc/local-notes.txt\n\n"
                       "Finished removing package(s)"))
      << remove.out;
  // What was loaded is gone but the required package and the directories
  // tar made to hold entries.
  EXPECT_FALSE(Exists(inst + "/doc/index.txt"));
  EXPECT_FALSE(Exists(inst + "/lib"));
  EXPECT_TRUE(Exists(inst + "/bin/tool"));
  EXPECT_EQ(ReadFile(inst + "/doc/local-notes.txt"), "mine\n");
}

// A medium with checksums and their signature is checked before anything
// of it is used; one row per damage: the run's status, and the line on
// standard error naming the file and why. Refused, nothing is loaded.
TEST(RoundTrip, AMediumIsCheckedByItsSignedChecksums) {
  RoundTrip t;
  std::string signed_medium = t.root() + "/signed", keys = t.root() + "/k", other = t.root() + "/o";
  for (const std::string& base : {keys, other}) {
    ASSERT_EQ(RunBinary(MKDIST_BINARY, {"--keygen", base}, {}).status, 0);
  }
  t.Build(signed_medium, {"--sign", keys + ".key"});
  // minisign itself takes the signature.
  if (Exists("/usr/bin/minisign")) {
    EXPECT_EQ(RunBinary("/usr/bin/minisign",
                        {"-Vm", signed_medium + "/SHA256SUMS", "-p", keys + ".pub"}, {})
                  .status,
              0);
  }
  auto edit = [](const std::string& file, const std::string& from, const std::string& to) {
    std::string text = ReadFile(file);
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    WriteFile(file, text);
  };
  auto unsigned_sums = [&](const std::string& m, const std::string& from, const std::string& to) {
    std::filesystem::remove(m + "/SHA256SUMS.minisig");
    edit(m + "/SHA256SUMS", from, to);
  };
  std::string sums = ReadFile(signed_medium + "/SHA256SUMS"), sum02 = sums.substr(0, 64);
  std::string line03 = sums.substr(sums.find("  03.tar") - 64, 64 + 8 + 1);
  struct Case {
    const char* what;
    std::function<void(const std::string&)> damage;
    std::map<std::string, std::optional<std::string>> env;
    int status;
    std::string said;  // on standard error
  } cases[] = {
      {"intact", [](const std::string&) {}, {{"ZULKEYS", keys + ".pub"}}, 0, ""},
      {"a folder of keys", [](const std::string&) {}, {{"ZULKEYS", t.root()}}, 0, ""},
      {"another key",
       [](const std::string&) {},
       {{"ZULKEYS", other + ".pub"}},
       1,
       "SHA256SUMS.minisig: signed with key "},
      {"a key file that is none",
       [](const std::string&) {},
       {{"ZULKEYS", signed_medium + "/MEDIUM"}},
       1,
       "MEDIUM: not a minisign public key"},
      {"the list changed after signing",
       [&](const std::string& m) {
         edit(m + "/SHA256SUMS", "MEDIUM", "MEDIUM\n" + std::string(64, '0') + "  MEDIUM");
       },
       {{"ZULKEYS", keys + ".pub"}},
       1,
       "SHA256SUMS.minisig: the signature does not match the file"},
      {"a truncated signature",
       [&](const std::string& m) { edit(m + "/SHA256SUMS.minisig", "trusted comment", "x"); },
       {{"ZULKEYS", keys + ".pub"}},
       1,
       "SHA256SUMS.minisig: not a minisign signature"},
      {"a trusted comment changed",
       [&](const std::string& m) { edit(m + "/SHA256SUMS.minisig", "timestamp:", "timestamp:9"); },
       {{"ZULKEYS", keys + ".pub"}},
       1,
       "the signature of its trusted comment does not match"},
      {"unsigned where a signature is asked",
       [&](const std::string& m) { std::filesystem::remove(m + "/SHA256SUMS.minisig"); },
       {{"ZULTRUST", "signed"}},
       1,
       "SHA256SUMS.minisig: the medium is not signed"},
      {"no checksums where they are asked",
       [&](const std::string& m) {
         std::filesystem::remove(m + "/SHA256SUMS.minisig");
         std::filesystem::remove(m + "/SHA256SUMS");
       },
       {{"ZULTRUST", "sums"}},
       1,
       "SHA256SUMS: the medium has no checksums"},
      {"a line that is no checksum",
       [&](const std::string& m) { unsigned_sums(m, sum02, "12"); },
       {},
       1,
       "SHA256SUMS: line 1: not a checksum and a name"},
      {"a name given twice",
       [&](const std::string& m) { unsigned_sums(m, "  MEDIUM", "  01.toc"); },
       {},
       1,
       "SHA256SUMS: line 5: the name 01.toc is given twice"},
      {"a name that climbs",
       [&](const std::string& m) { unsigned_sums(m, "  MEDIUM", "  ../MEDIUM"); },
       {},
       1,
       "leads out of the medium"},
      {"a name not on the medium",
       [&](const std::string& m) { unsigned_sums(m, "  MEDIUM", "  gone"); },
       {},
       1,
       "SHA256SUMS: gone: no such file on the medium"},
      {"a table of contents changed",
       [&](const std::string& m) {
         unsigned_sums(m, "", "");
         edit(m + "/01.toc", "Base", "Bass");
       },
       {},
       1,
       "01.toc: its checksum is not the one SHA256SUMS gives"},
      {"an archive changed",
       [&](const std::string& m) {
         unsigned_sums(m, "", "");
         edit(m + "/02.tar", "tool", "toot");
       },
       {},
       1,
       "02.tar: not extracted: its checksum is not the one SHA256SUMS gives"},
      {"an archive the list leaves out",
       [&](const std::string& m) { unsigned_sums(m, line03, ""); },
       {},
       1,
       "03.tar: not extracted: not listed in SHA256SUMS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string medium = t.root() + "/medium", inst = t.root() + "/inst";
    std::filesystem::remove_all(medium);
    std::filesystem::remove_all(inst);
    std::filesystem::copy(signed_medium, medium, std::filesystem::copy_options::recursive);
    MakeDirs(inst);
    c.damage(medium);
    RunOptions options;
    options.cwd = inst;
    options.tmpdir = t.tmp();
    options.input = medium + "\n" + ChooseAll(inst) + "\n";
    options.env = c.env;
    options.env["ZULSTRICT"] = "1";
    RunResult r = RunInstall({"-load"}, options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(c.said.empty() ? r.err.empty() : Contains(r.err, c.said)) << r.err;
    if (c.status == 0) {
      EXPECT_EQ(Snapshot(inst), Snapshot(t.staging()));
    }
    // Refused before the questions of packages: nothing loaded at all.
    if (c.status != 0 && c.said.find("not extracted") == std::string::npos) {
      EXPECT_TRUE(ListDir(inst).empty());
    }
  }
}

}  // namespace
