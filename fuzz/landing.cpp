// A differential test of the member check: random small archives (files,
// directories, links and hard links with names that climb and cross each
// other, over links already on disk) are judged as a load judges them and
// then extracted by tar into a scratch installation directory. Whatever the
// check allows must land where it predicts, and nothing beside the
// installation directory may change. tar runs under Landlock beneath the
// fuzz directory, so that a wrong judgement shows as a finding instead of a
// write elsewhere on the machine.
#include "operations/landing.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "operations/archivelisting.hpp"
#include "operations/tarrequest.hpp"
#include "support.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"

namespace {

namespace fs = std::filesystem;

struct Scene {
  std::string root, outside, archive;
};

const Scene& TheScene() {
  static const Scene scene = [] {
    // tar is confined to the fuzz directory: Landlock alone.
    setenv("ZULCONFINE", "landlock", 1);
    std::string base = fs::canonical(FuzzDirectory()).string();
    return Scene{base + "/top/inst", base + "/top/outside", base + "/archive.tar"};
  }();
  return scene;
}

// Reads one byte of the input, 0 when it is used up.
struct Bytes {
  const uint8_t* data;
  size_t size;
  uint8_t Next() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
};

std::string Name(Bytes& in) {
  static const char* const kParts[] = {"a", "b", "up", "l", "x", "..", "."};
  std::string name;
  int depth = 1 + in.Next() % 3;
  for (int i = 0; i < depth; ++i) name += (i ? "/" : "") + std::string(kParts[in.Next() % 7]);
  return name;
}

std::string Target(Bytes& in, const Scene& scene) {
  switch (in.Next() % 6) {
    case 0:
      return "..";
    case 1:
      return "../..";
    case 2:
      return scene.root + "/" + Name(in);
    case 3:
      return scene.outside;
    case 4:
      return "/";
    default:
      return Name(in);
  }
}

// Writes a random archive of up to eight members.
void WriteArchive(Bytes& in, const Scene& scene) {
  archive* out = archive_write_new();
  archive_write_set_format_pax_restricted(out);
  archive_write_open_filename(out, scene.archive.c_str());
  int count = 1 + in.Next() % 8;
  for (int i = 0; i < count; ++i) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, Name(in).c_str());
    archive_entry_set_perm(entry, 0755);
    switch (in.Next() % 4) {
      case 0:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, 1);
        break;
      case 1:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
      case 2:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, Target(in, scene).c_str());
        break;
      default:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, Name(in).c_str());
        break;
    }
    archive_write_header(out, entry);
    if (archive_entry_size(entry) == 1) archive_write_data(out, "f", 1);
    archive_entry_free(entry);
  }
  archive_write_close(out);
  archive_write_free(out);
}

// Links already in the installation directory.
void PlaceLinks(Bytes& in, const Scene& scene) {
  int count = in.Next() % 3;
  for (int i = 0; i < count; ++i) {
    std::string at = scene.root + "/" + std::string(i == 0 ? "l" : "up");
    if (symlink(Target(in, scene).c_str(), at.c_str()) != 0) Finding("symlink");
  }
}

// Everything below `dir`, with each entry's type and mode.
std::vector<std::string> Tree(const std::string& dir) {
  std::vector<std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    struct stat st;
    if (lstat(entry.path().c_str(), &st) != 0) continue;
    tree.push_back(entry.path().string() + " " + std::to_string(st.st_mode));
  }
  return tree;
}

// tar's extraction as a load asks for it, in the installation directory;
// false when tar failed. What it said is in `said`.
bool Extract(const Scene& scene, int root_fd, const Sandbox& sandbox, std::string& said) {
  int fd = open(scene.archive.c_str(), O_RDONLY | O_CLOEXEC);
  int err = memfd_create("tar", MFD_CLOEXEC);
  Command tar{TarArguments(ArchiveOnStandardInput(true), false,
                           TarRequest{TarRequest::Kind::kWhole, {}}, "")};
  tar.stdin_fd = fd;
  tar.stderr_fd = err;
  tar.cwd_fd = root_fd;
  tar.sandbox = &sandbox;
  bool ok = RunCommand(tar).Succeeded();
  said.assign(4096, '\0');
  ssize_t got = pread(err, said.data(), said.size(), 0);
  said.resize(got > 0 ? static_cast<size_t>(got) : 0);
  close(err);
  close(fd);
  return ok;
}

// Whether member `j` makes a symbolic link: it is one, or a hard link to an
// earlier member that makes one.
bool IsLink(const std::vector<ArchiveMember>& members, size_t j) {
  if (members[j].type == ArchiveMember::Type::kSymlink) return true;
  if (members[j].type != ArchiveMember::Type::kHardlink) return false;
  for (size_t k = 0; k < j; ++k) {
    if (members[k].name == members[j].link && IsLink(members, k)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scene& scene = TheScene();
  fs::remove_all(fs::path(scene.root).parent_path());
  fs::create_directories(scene.root);
  fs::create_directories(scene.outside);
  Bytes in{data, size};
  PlaceLinks(in, scene);
  WriteArchive(in, scene);

  int root_fd = open(scene.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  int fuzz_fd = open(FuzzDirectory().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  Sandbox sandbox = Sandbox::Beneath(fuzz_fd, FuzzDirectory());
  ListedArchive listed;
  listed.List(scene.archive, false, sandbox);
  if (!listed.error().empty()) Finding("tar could not list an archive it was given");
  Landing landing(root_fd, scene.root, false);
  Refusal refusal;
  std::vector<const ArchiveMember*> set_id;
  std::vector<std::string> places;
  auto every = [](std::string_view) { return true; };
  bool allowed = landing.Allows(listed.members(), every, refusal, set_id, &places);
  std::string said;
  bool extracted = allowed && Extract(scene, root_fd, sandbox, said);
  close(root_fd);
  close(fuzz_fd);
  if (!allowed) return 0;

  if (said.find("Permission denied") != std::string::npos) {
    Finding("tar wrote beyond the fuzz directory where the check allowed it");
  }
  if (!Tree(scene.outside).empty()) Finding("something landed beside the installation directory");
  for (const auto& entry : fs::directory_iterator(FuzzDirectory())) {
    std::string name = entry.path().filename().string();
    if (name != "top" && name != "archive.tar") Finding("something landed in the fuzz directory");
  }
  if (!extracted) return 0;
  // Every file lands where it was predicted, unless a later member took
  // that place or a directory on its way. tar makes a link that leads up or
  // away only at the end, over whatever took its place meanwhile.
  const std::vector<ArchiveMember>& members = listed.members();
  for (size_t i = 0; i < places.size(); ++i) {
    if (members[i].type != ArchiveMember::Type::kFile || places[i].empty()) continue;
    bool replaced = false;
    for (size_t j = i + 1; j < places.size() && !replaced; ++j) {
      replaced = places[j] == places[i] || places[i].starts_with(places[j] + "/");
    }
    // tar makes a link that leads up or away at the end, and a hard link
    // to it with it: either may come back over a file that took its place.
    bool delayed_link = false;
    for (size_t j = 0; j < i && !delayed_link; ++j) {
      delayed_link = places[j] == places[i] && IsLink(members, j);
    }
    struct stat st;
    if (replaced || lstat((scene.root + "/" + places[i]).c_str(), &st) != 0) {
      if (!replaced) Finding("a file did not land where the check predicted");
      continue;
    }
    if (!S_ISREG(st.st_mode) && !(delayed_link && S_ISLNK(st.st_mode))) {
      Finding("a file did not land where the check predicted");
    }
  }
  return 0;
}
