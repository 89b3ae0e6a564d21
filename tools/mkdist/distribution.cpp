#include "distribution.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "carriedinstaller.hpp"
#include "common/medium.hpp"
#include "common/tocformat.hpp"
#include "mediumrecord.hpp"
#include "stagingtree.hpp"
#include "system/spawn.hpp"

namespace {

// One line of the table of contents below a category title.
struct Row {
  int category;
  char package_class;
  const ManifestPackage* package;
  StagingEntry entry;
};

// The whole distribution, in table-of-contents order.
struct Layout {
  std::deque<Row> rows;  // a deque keeps the paths in place for `seen`
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Walks every path of the manifest in the staging tree and checks what the
// table of contents cannot hold: a missing path, a bad name, an entry taken
// twice, a size too wide for its field.
Layout CollectEntries(const Manifest& manifest, const std::string& staging,
                      Diagnostics& diagnostics) {
  Layout layout;
  std::unordered_map<std::string_view, int> seen;  // entry path -> manifest line
  for (size_t c = 0; c < manifest.categories.size(); ++c) {
    for (const ManifestPackage& package : manifest.categories[c].packages) {
      char first_class = package.required ? 'R' : 'O';
      for (const ManifestPath& path : package.paths) {
        std::vector<StagingEntry> entries;
        for (const std::string& problem : ExpandPath(staging, path.path, entries)) {
          diagnostics.At(path.line, problem);
        }
        for (StagingEntry& entry : entries) {
          if (entry.size > kMaxEntrySize) {
            diagnostics.At(path.line, Quoted(entry.path) + " has " + std::to_string(entry.size) +
                                          " bytes, too many for the 12-column size field");
          }
          bool first = layout.rows.empty() || layout.rows.back().package != &package;
          layout.rows.push_back(
              {static_cast<int>(c) + 1, first ? first_class : '*', &package, std::move(entry)});
          auto [where, fresh] = seen.emplace(layout.rows.back().entry.path, path.line);
          if (!fresh) {
            diagnostics.At(path.line, Quoted(layout.rows.back().entry.path) +
                                          " is already taken by the path on line " +
                                          std::to_string(where->second));
          }
        }
      }
    }
  }
  return layout;
}

std::string Parent(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Base(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The target may be missing or an empty directory, which rename(2) replaces.
bool TargetIsFree(const std::string& target, Diagnostics& diagnostics) {
  std::error_code error;
  auto status = std::filesystem::symlink_status(target, error);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (status.type() == std::filesystem::file_type::directory &&
      std::filesystem::is_empty(target, error) && !error) {
    return true;
  }
  diagnostics.Plain("mkdist: " + target + " already exists and is not an empty directory");
  return false;
}

// A directory beside the target, with the permissions a new directory gets.
std::string MakeScratchDirectory(const std::string& target, Diagnostics& diagnostics) {
  std::string pattern = Parent(target) + "/." + Base(target) + ".mkdist-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    diagnostics.Plain("mkdist: cannot make a directory beside " + target + ": " +
                      std::strerror(errno));
    return "";
  }
  mode_t mask = umask(0);
  umask(mask);
  chmod(pattern.c_str(), 0777 & ~mask);
  return pattern;
}

bool WriteToc(const Manifest& manifest, const Layout& layout, const std::string& file,
              Diagnostics& diagnostics) {
  FILE* out = std::fopen(file.c_str(), "we");
  if (!out) {
    diagnostics.Plain("mkdist: " + file + ": " + std::strerror(errno));
    return false;
  }
  std::fputs(TocHeader(manifest.heading).c_str(), out);
  auto row = layout.rows.begin();
  for (size_t c = 0; c < manifest.categories.size(); ++c) {
    const ManifestCategory& category = manifest.categories[c];
    int number = static_cast<int>(c) + 1;
    std::fputs(TocTitle(number, category.default_all, category.title).c_str(), out);
    for (; row != layout.rows.end() && row->category == number; ++row) {
      std::fputs(TocEntry(number, row->entry.directory ? 'D' : 'F', row->package_class,
                          row->package->description, row->package->archive_code, row->entry.size,
                          row->entry.path)
                     .c_str(),
                 out);
    }
  }
  bool ok = !std::ferror(out);
  ok = std::fclose(out) == 0 && ok;
  if (!ok) diagnostics.Plain("mkdist: cannot write " + file + ": " + std::strerror(errno));
  return ok;
}

bool WriteMemberList(const std::string& file, const std::string& names, Diagnostics& diagnostics) {
  FILE* out = std::fopen(file.c_str(), "we");
  bool ok = out && std::fwrite(names.data(), 1, names.size(), out) == names.size();
  if (out) ok = std::fclose(out) == 0 && ok;
  if (!ok) diagnostics.Plain("mkdist: cannot write " + file + ": " + std::strerror(errno));
  return ok;
}

// One archive: tar reads exactly the listed members (no recursion, so a
// directory's contents come from their own lines) with fixed times and
// owners, so that the same input gives the same bytes.
bool WriteArchive(const std::string& staging, const std::string& list, const std::string& archive,
                  int compression, Diagnostics& diagnostics) {
  Command tar{{"/bin/tar", "--create", "--format=gnu", "--force-local", "--sort=name", "--mtime=@0",
               "--owner=0", "--group=0", "--numeric-owner", "--no-recursion",
               "--directory=" + staging, "--verbatim-files-from", "--null",
               "--files-from=" + list}};
  int out = open(archive.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    diagnostics.Plain("mkdist: " + archive + ": " + std::strerror(errno));
    return false;
  }
  std::string why;
  if (compression == kPlain) {
    // tar writes the file itself; its standard output stays ours.
    tar.argv.insert(tar.argv.begin() + 2, "--file=" + archive);
    why = DescribeEnd("/bin/tar", RunCommand(tar));
  } else {
    tar.argv.insert(tar.argv.begin() + 2, "--file=-");
    Command gzip{{"gzip", "-n", "-c"}, -1, out};
    PipelineEnd end = RunPipeline(tar, gzip);
    // A gzip that could not start is the cause when tar then ends on the
    // closed pipe; a gzip never started because tar did not is no fault.
    if (end.first.started && !end.second.started) {
      why = DescribeEnd("gzip", end.second);
    } else {
      why = DescribeEnd("/bin/tar", end.first);
      if (why.empty()) why = DescribeEnd("gzip", end.second);
    }
  }
  bool ok = why.empty();
  if (close(out) != 0 && ok) {
    why = std::strerror(errno);
    ok = false;
  }
  if (!ok) diagnostics.Plain("mkdist: cannot make " + archive + ": " + why);
  return ok;
}

bool WriteArchives(const Layout& layout, const BuildOptions& options, const std::string& dir,
                   Diagnostics& diagnostics, BuildSummary& summary) {
  // Member names of each archive, NUL-separated, in table-of-contents order.
  std::map<std::string, std::string> members;
  for (const Row& row : layout.rows) {
    std::string& names = members[row.package->archive_code];
    names += row.entry.path;
    names += '\0';
  }
  std::string list = dir + "/.mkdist-members";
  for (const auto& [code, names] : members) {
    std::string archive = dir + "/" + ArchiveName(code, options.name_form, options.compression);
    if (!WriteMemberList(list, names, diagnostics) ||
        !WriteArchive(options.staging, list, archive, options.compression, diagnostics)) {
      return false;
    }
  }
  std::remove(list.c_str());
  summary.archives = members.size();
  return true;
}

// The installer and the catalogues, in the root of the medium beside the
// table of contents: an operator starts the program there, and it finds the
// catalogue of the language beside itself.
bool CopyCarriedFiles(const BuildOptions& options, const std::string& dir,
                      Diagnostics& diagnostics) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, std::string>> copies;
  if (!options.installer.empty()) copies.emplace_back(options.installer, "install");
  for (const std::string& catalogue : options.catalogues) {
    copies.emplace_back(catalogue, fs::path(catalogue).filename().string());
  }
  for (const auto& [from, name] : copies) {
    std::string to = dir + "/" + name;
    std::error_code error;
    if (fs::exists(to, error)) {
      diagnostics.Plain("mkdist: " + from + ": the medium already has a file named " + name);
      return false;
    }
    fs::copy_file(from, to, error);
    if (!error) {
      bool program = name == "install" && from == options.installer;
      fs::permissions(to, program ? fs::perms(0755) : fs::perms(0644), fs::perm_options::replace,
                      error);
    }
    if (error) {
      diagnostics.Plain("mkdist: cannot copy " + from + ": " + error.message());
      return false;
    }
  }
  return true;
}

// The version of the installer the medium carries, as MEDIUM gives it.
std::string CarriedVersion(const BuildOptions& options) {
  if (options.installer.empty()) return "";
  std::string version = InstallerVersion(options.installer);
  return version.empty() ? "unknown" : version;
}

}  // namespace

bool BuildDistribution(const Manifest& manifest, const BuildOptions& options,
                       Diagnostics& diagnostics, BuildSummary& summary) {
  if (!TargetIsFree(options.target, diagnostics)) return false;
  Layout layout = CollectEntries(manifest, options.staging, diagnostics);
  if (!diagnostics.Empty()) return false;

  std::string dir = MakeScratchDirectory(options.target, diagnostics);
  if (dir.empty()) return false;
  bool ok = WriteToc(manifest, layout, dir + "/" + kTocNames[options.name_form], diagnostics) &&
            WriteArchives(layout, options, dir, diagnostics, summary) &&
            CopyCarriedFiles(options, dir, diagnostics) &&
            WriteMediumRecord(dir, {manifest.heading, CarriedVersion(options), options.secret_key},
                              diagnostics);
  if (ok && rename(dir.c_str(), options.target.c_str()) != 0) {
    diagnostics.Plain("mkdist: cannot move the distribution to " + options.target + ": " +
                      std::strerror(errno));
    ok = false;
  }
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return false;
  }
  summary.entries = layout.rows.size();
  return true;
}
