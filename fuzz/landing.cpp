// A differential test of the member check: random small archives (files,
// directories, links and hard links with names that climb and cross each
// other, over links already on disk) are judged as a load judges them and
// then extracted by tar into a scratch installation directory. Whatever the
// check allows must land where it predicts, tar may make nothing the check
// did not judge, and nothing beside the installation directory may change.
// The archives come in GNU and pax forms, with long names, sparse files, and
// headers changed after they are written (a size on a link or directory, a
// pax size before any member) so that tar may read them differently when
// it lists and when it extracts. tar runs under Landlock beneath the fuzz
// directory, so that a wrong judgement shows as a finding instead of a write
// elsewhere on the machine.
#include "loading/landing.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/sha256.hpp"
#include "loading/archivelisting.hpp"
#include "loading/tarrequest.hpp"
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

// One member of the archive, and what is done to its header.
struct Member {
  enum class Kind { kFile, kDirectory, kSymlink, kHardlink } kind;
  std::string name, link;
  enum class Change { kNone, kLongName, kSize, kPaxSize, kSparse } change = Change::kNone;
  uint8_t amount = 0;  // of the change
  size_t header = 0;   // where its own header lies in the archive
};

// The members of a random archive of up to eight, and its form. The form
// and the changes come last, so that inputs written before them keep their
// meaning.
std::vector<Member> Plan(Bytes& in, const Scene& scene, int& form) {
  std::vector<Member> members(1 + in.Next() % 8);
  for (Member& m : members) {
    m.name = Name(in);
    m.kind = static_cast<Member::Kind>(in.Next() % 4);
    if (m.kind == Member::Kind::kSymlink) m.link = Target(in, scene);
    if (m.kind == Member::Kind::kHardlink) m.link = Name(in);
  }
  form = in.Next() % 3;
  for (Member& m : members) {
    uint8_t change = in.Next();
    m.change = change < 160 ? Member::Change::kNone : static_cast<Member::Change>(change % 5);
    m.amount = in.Next();
    // GNU long names and links, or pax paths, on each type.
    if (m.change == Member::Change::kLongName) {
      std::string directory(100 + m.amount, 'L');
      m.name = directory + "/" + m.name;
      if (m.kind == Member::Kind::kSymlink) m.link = directory + "/" + m.link;
    }
  }
  return members;
}

// Writes `members` in `form` (pax as libarchive restricts it, GNU, pax);
// notes where each member's own header lies.
void WriteArchive(std::vector<Member>& members, int form, const Scene& scene) {
  archive* out = archive_write_new();
  if (form == 1) {
    archive_write_set_format_gnutar(out);
  } else if (form == 2) {
    archive_write_set_format_pax(out);
  } else {
    archive_write_set_format_pax_restricted(out);
  }
  archive_write_open_filename(out, scene.archive.c_str());
  for (Member& m : members) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, m.name.c_str());
    archive_entry_set_perm(entry, 0755);
    int64_t size = 0;
    switch (m.kind) {
      case Member::Kind::kFile:
        archive_entry_set_filetype(entry, AE_IFREG);
        size = m.change == Member::Change::kSparse ? 512 * (1 + m.amount % 4) : 1;
        archive_entry_set_size(entry, size);
        // A part with data, at a block the amount chooses; the rest holes.
        if (m.change == Member::Change::kSparse) {
          archive_entry_sparse_add_entry(entry, 512 * (m.amount / 4 % 4) % size, 512);
        }
        break;
      case Member::Kind::kDirectory:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
      case Member::Kind::kSymlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, m.link.c_str());
        break;
      case Member::Kind::kHardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, m.link.c_str());
        break;
    }
    if (archive_write_header(out, entry) == ARCHIVE_OK) {
      m.header = static_cast<size_t>(archive_filter_bytes(out, 0)) - 512;
      std::string data(static_cast<size_t>(size), 'f');
      if (size > 0) archive_write_data(out, data.data(), data.size());
    } else {
      m.change = Member::Change::kNone;
    }
    archive_entry_free(entry);
  }
  archive_write_close(out);
  archive_write_free(out);
}

// Writes the checksum of the header block at `at` of `bytes`.
void Checksum(std::string& bytes, size_t at) {
  bytes.replace(at + 148, 8, 8, ' ');
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += static_cast<unsigned char>(bytes[at + i]);
  char field[8];
  std::snprintf(field, sizeof field, "%06o", sum);
  bytes.replace(at + 148, 8, std::string(field, 6) + std::string("\0 ", 2));
}

// An octal header field of `width` bytes.
std::string Octal(uint64_t value, int width) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llo", width - 1, static_cast<unsigned long long>(value));
  return std::string(text, static_cast<size_t>(width - 1)) + '\0';
}

// A pax extended header that gives the next member the size `size`.
std::string PaxSize(uint64_t size) {
  std::string record = " size=" + std::to_string(size) + "\n";
  size_t length = record.size() + 2;
  if (std::to_string(length).size() + record.size() != length) ++length;
  record = std::to_string(length) + record;
  std::string header(1024, '\0');
  header.replace(0, 12, "PaxHeaders/x");
  header.replace(100, 8, Octal(0644, 8));
  header.replace(124, 12, Octal(record.size(), 12));
  header[156] = 'x';
  header.replace(257, 8,
                 std::string("ustar\0"
                             "00",
                             8));
  Checksum(header, 0);
  return header.replace(512, record.size(), record);
}

// Changes the headers as the plan says, last member first so that the
// places noted stay right.
void ChangeHeaders(const std::vector<Member>& members, const Scene& scene) {
  std::string bytes = ReadBytes(scene.archive);
  for (auto m = members.rbegin(); m != members.rend(); ++m) {
    if (m->header + 512 > bytes.size()) continue;
    if (m->change == Member::Change::kSize) {
      bytes.replace(m->header + 124, 12, Octal(512 * (m->amount % 3), 12));
      Checksum(bytes, m->header);
    } else if (m->change == Member::Change::kPaxSize) {
      bytes.insert(m->header, PaxSize(512 * (m->amount % 3)));
    }
  }
  WriteBytes(scene.archive, bytes);
}

// Links already in the installation directory; gives their names.
std::vector<std::string> PlaceLinks(Bytes& in, const Scene& scene) {
  std::vector<std::string> placed;
  int count = in.Next() % 3;
  for (int i = 0; i < count; ++i) {
    placed.emplace_back(i == 0 ? "l" : "up");
    std::string at = scene.root + "/" + placed.back();
    if (symlink(Target(in, scene).c_str(), at.c_str()) != 0) Finding("symlink");
  }
  return placed;
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
bool IsLink(const MemberList& members, size_t j) {
  if (members[j].type == ArchiveMember::Type::kSymlink) return true;
  if (members[j].type != ArchiveMember::Type::kHardlink) return false;
  for (size_t k = 0; k < j; ++k) {
    if (members[k].name == members[j].link && IsLink(members, k)) return true;
  }
  return false;
}

// Whether `path` (below the installation directory) is a place the check
// predicted for a member, or a directory above one, or a link placed
// before.
bool Explained(const std::string& path, std::vector<std::string> places,
               const std::vector<std::string>& placed) {
  places.insert(places.end(), placed.begin(), placed.end());
  for (const std::string& place : places) {
    if (place == path || place.starts_with(path + "/")) return true;
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
  std::vector<std::string> placed = PlaceLinks(in, scene);
  int form = 0;
  std::vector<Member> plan = Plan(in, scene, form);
  WriteArchive(plan, form, scene);
  ChangeHeaders(plan, scene);
  bool changed = false;
  for (const Member& m : plan) {
    changed = changed || m.change == Member::Change::kSize || m.change == Member::Change::kPaxSize;
  }

  int root_fd = open(scene.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  int fuzz_fd = open(FuzzDirectory().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  // tar is confined to the fuzz directory: Landlock alone.
  Sandbox sandbox = Sandbox::Beneath(fuzz_fd, FuzzDirectory(), {}, ConfineMode::kLandlock);
  ListedArchive listed;
  listed.List(scene.archive, false, sandbox, {}, true);
  // A changed header may leave tar unable to list the archive: refused.
  if (!listed.error().empty() && !changed) Finding("tar could not list an archive it was given");
  Landing landing(root_fd, scene.root, false);
  Refusal refusal;
  std::vector<MemberView> set_id;
  std::vector<std::string> places;
  auto every = [](std::string_view) { return true; };
  bool allowed =
      listed.error().empty() && landing.Allows(listed.members(), every, refusal, set_id, &places);
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
  for (const auto& entry : fs::recursive_directory_iterator(scene.root)) {
    if (!Explained(entry.path().lexically_relative(scene.root).string(), places, placed)) {
      Finding("tar made a member that the check never judged");
    }
  }
  if (!extracted) return 0;
  // Every file lands where it was predicted, unless a later member took
  // that place or a directory on its way. tar makes a link that leads up or
  // away only at the end, over whatever took its place meanwhile.
  const MemberList& members = listed.members();
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
    // The digest the listing made of its data is that of what tar wrote.
    const FileDigest* digest = members[i].digest;
    int fd = digest && S_ISREG(st.st_mode)
                 ? open((scene.root + "/" + places[i]).c_str(), O_RDONLY | O_CLOEXEC)
                 : -1;
    std::string hex;
    if (fd >= 0 && Sha256OfFile(fd, hex) &&
        (hex != Sha256Hex(digest->sha256).view() ||
         digest->size != static_cast<uint64_t>(st.st_size))) {
      Finding("a file's digest from the listing is not that of what tar wrote");
    }
    if (fd >= 0) close(fd);
  }
  return 0;
}
