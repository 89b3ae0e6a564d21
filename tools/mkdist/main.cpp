// mkdist: builds a distribution for the installer from a manifest and a
// staging tree.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "carriedinstaller.hpp"
#include "common/entrypath.hpp"
#include "common/medium.hpp"
#include "common/tocformat.hpp"
#include "diagnostics.hpp"
#include "distribution.hpp"
#include "manifest.hpp"
#include "mediumrecord.hpp"

namespace {

const char kUsage[] =
    "Usage: mkdist [--name-form N] [--compress none|0|1|2] [--installer [PROGRAM]]\n"
    "              [--catalogue FILE]... [--sign SECRETKEY] MANIFEST STAGING TARGET\n"
    "       mkdist --keygen BASE\n"
    "       mkdist --help | --version\n";

const char kHelp[] =
    "Builds a distribution for the installer: the table of contents and one tar\n"
    "archive per archive code, from MANIFEST and the files below STAGING, into\n"
    "the new directory TARGET (which must not exist, or be empty).\n"
    "\n"
    "Options:\n"
    "  --name-form N     name form of the table of contents, 0-5 or the name itself:\n"
    "                    01.toc, 01.toc;1, 01.toc-1, 01.TOC, 01.TOC;1, 01.TOC-1\n"
    "                    (default 0); plain archives follow it: CC.tar, CC.tar;1,\n"
    "                    CC.tar-1, CC.TAR, CC.TAR;1, CC.TAR-1 for archive code CC\n"
    "  --compress F      none (default), or gzip archives named CCtar.z (0),\n"
    "                    CCtar.Z (1) or CCTAR.Z (2); the installer recognises a\n"
    "                    compressed medium by archive 02, so one package needs code 02\n"
    "  --installer [PROGRAM]  copies the installer into the root of the medium as\n"
    "                    \"install\" (mode 0755), so that it can be started there;\n"
    "                    without PROGRAM the one installed with mkdist\n"
    "                    (" INSTALLER_FROM_MKDIST
    " from mkdist's directory);\n"
    "                    MANIFEST STAGING TARGET are never taken for PROGRAM\n"
    "  --catalogue FILE  copies a message catalogue (such as de.nls) beside it,\n"
    "                    where the installer looks first; may be repeated\n"
    "  --sign SECRETKEY  signs the medium's SHA256SUMS with this minisign secret\n"
    "                    key (not encrypted) into SHA256SUMS.minisig\n"
    "  --keygen BASE     makes a key pair, BASE.key (secret, mode 0600) and\n"
    "                    BASE.pub, for --sign and for the installer's hosts\n"
    "  --help            this text\n"
    "  --version         prints \"mkdist x.y.z\"\n"
    "\n"
    "Every medium gets MEDIUM (its title, when and by which mkdist it was made,\n"
    "the version of the installer it carries) and SHA256SUMS (every file on it,\n"
    "as sha256sum -c reads them).\n"
    "\n"
    "Manifest: one statement per line; blank lines and lines whose first\n"
    "non-blank character is '#' are ignored, indentation is free.\n"
    "  heading TEXT                             the distribution's heading, once,\n"
    "                                           before the first category\n"
    "  category all|none TITLE                  the next category (01, 02, ... at most\n"
    "                                           99); all or none is its default answer\n"
    "  package required|optional CODE DESCRIPTION\n"
    "                                           a package of the category above: CODE\n"
    "                                           is its archive, two letters or digits;\n"
    "                                           DESCRIPTION at most 54 characters\n"
    "  path PATH                                a file or directory of the package\n"
    "                                           above, relative to STAGING; a\n"
    "                                           directory brings everything below it\n"
    "Paths hold no blank or tab, are not absolute and have no '.' or '..' part.\n"
    "Each entry belongs to one package. Directories are listed before their\n"
    "contents, names in byte order, directory sizes as 0. The same input always\n"
    "gives the same bytes.\n"
    "\n"
    "Example:\n"
    "  heading Example 1.0\n"
    "  category all Base\n"
    "    package required 01 Base programs\n"
    "      path bin\n"
    "    package optional 02 Manual pages\n"
    "      path man/man1\n";

struct Arguments {
  std::string manifest;
  BuildOptions build;
};

int UsageError(const std::string& text) {
  std::fprintf(stderr, "mkdist: %s\n%s", text.c_str(), kUsage);
  return 2;
}

bool ParseNameForm(const std::string& value, int& form) {
  for (int i = 0; i < kNameForms; ++i) {
    if (value == std::to_string(i) || value == kTocNames[i]) {
      form = i;
      return true;
    }
  }
  return false;
}

bool ParseCompression(const std::string& value, int& compression) {
  if (value == "none") {
    compression = kPlain;
    return true;
  }
  if (value == "0" || value == "1" || value == "2") {
    compression = value[0] - '0';
    return true;
  }
  return false;
}

// Whether the word after --installer (at argv[i]) is its PROGRAM: not an
// option, and the operands MANIFEST STAGING TARGET not yet seen must still
// follow it.
bool InstallerPathFollows(int argc, char** argv, int i, size_t operands_seen) {
  if (i + 1 >= argc || std::string(argv[i + 1]).rfind("--", 0) == 0) return false;
  int still_needed = operands_seen >= 3 ? 0 : 3 - static_cast<int>(operands_seen);
  return argc - (i + 2) >= still_needed;
}

// Returns -1 when the run goes on, else the exit status.
int ParseArguments(int argc, char** argv, Arguments& arguments) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (word == "--version") {
      std::printf("mkdist %s\n", INSTALL_VERSION);
      return 0;
    }
    if (word.rfind("--", 0) == 0 && word.size() > 2) {
      std::string name = word, value;
      size_t equals = word.find('=');
      if (equals != std::string::npos) {
        name = word.substr(0, equals);
        value = word.substr(equals + 1);
      } else if (name == "--installer" && !InstallerPathFollows(argc, argv, i, positional.size())) {
        value = DefaultInstaller();
        if (value.empty()) return UsageError("cannot tell where the installed installer is");
      } else if (name == "--name-form" || name == "--compress" || name == "--installer" ||
                 name == "--catalogue" || name == "--sign") {
        if (i + 1 == argc) return UsageError(name + " needs a value");
        value = argv[++i];
      }
      if (name == "--sign") {
        arguments.build.secret_key = value;
      } else if (name == "--name-form") {
        if (!ParseNameForm(value, arguments.build.name_form)) {
          return UsageError("name form \"" + value + "\" is not 0-5 or one of the six names");
        }
      } else if (name == "--compress") {
        if (!ParseCompression(value, arguments.build.compression)) {
          return UsageError("compression \"" + value + "\" is not none, 0, 1 or 2");
        }
      } else if (name == "--installer" || name == "--catalogue") {
        struct stat file;
        if (stat(value.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
          return UsageError(name.substr(2) + " \"" + value + "\" is not a file");
        }
        if (name == "--installer") {
          arguments.build.installer = value;
        } else {
          arguments.build.catalogues.push_back(value);
        }
      } else {
        return UsageError("unknown option " + word);
      }
      continue;
    }
    positional.push_back(word);
  }
  if (positional.size() != 3) return UsageError("needs MANIFEST, STAGING and TARGET");
  arguments.manifest = positional[0];
  arguments.build.staging = std::filesystem::absolute(positional[1]).string();
  std::string target(WithoutTrailingSlashes(positional[2]));
  arguments.build.target = std::filesystem::absolute(target).string();
  return -1;
}

// The installer finds out whether a medium is compressed by looking for the
// archive of code 02, so a compressed distribution without it would load as
// plain and fail.
void CheckCompressedProbe(const Manifest& manifest, int compression, Diagnostics& diagnostics) {
  if (compression == kPlain) return;
  for (const ManifestCategory& category : manifest.categories) {
    for (const ManifestPackage& package : category.packages) {
      if (package.archive_code == kProbeArchiveCode) return;
    }
  }
  diagnostics.Whole(
      "a compressed distribution needs a package with archive code 02, "
      "by which the installer recognises compression");
}

// Which installer the medium carries, for the build log.
void ReportCarriedInstaller(const std::string& installer) {
  if (installer.empty()) return;
  std::string version = InstallerVersion(installer);
  std::printf("mkdist: the medium carries %s (%s)\n",
              version.empty() ? "an installer of unknown version" : ("install " + version).c_str(),
              installer.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--keygen") {
    if (argc != 3) return UsageError("--keygen needs BASE, and nothing else");
    std::string why = MakeKeyFiles(argv[2]);
    if (!why.empty()) {
      std::fprintf(stderr, "mkdist: %s\n", why.c_str());
      return 1;
    }
    std::printf("mkdist: wrote %s.key and %s.pub\n", argv[2], argv[2]);
    return 0;
  }
  Arguments arguments;
  int status = ParseArguments(argc, argv, arguments);
  if (status >= 0) return status;

  std::ifstream in(arguments.manifest);
  if (!in) {
    std::fprintf(stderr, "mkdist: %s: %s\n", arguments.manifest.c_str(), std::strerror(errno));
    return 1;
  }
  Diagnostics diagnostics(arguments.manifest);
  Manifest manifest = ParseManifest(in, diagnostics);
  if (in.bad()) {
    std::fprintf(stderr, "mkdist: cannot read %s: %s\n", arguments.manifest.c_str(),
                 std::strerror(errno));
    return 1;
  }
  CheckCompressedProbe(manifest, arguments.build.compression, diagnostics);
  struct stat info;
  if (stat(arguments.build.staging.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    diagnostics.Plain("mkdist: staging directory " + arguments.build.staging +
                      " is not a directory");
  }

  BuildSummary summary;
  if (diagnostics.Empty() && BuildDistribution(manifest, arguments.build, diagnostics, summary)) {
    std::printf("mkdist: wrote %s: %zu categories, %zu entries, %zu archives\n",
                arguments.build.target.c_str(), manifest.categories.size(), summary.entries,
                summary.archives);
    ReportCarriedInstaller(arguments.build.installer);
    return 0;
  }
  for (const std::string& message : diagnostics.Messages()) {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
  std::fprintf(stderr, "mkdist: no distribution written\n");
  return 1;
}
