#include "loading/archivelisting.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "loading/archiveform.hpp"
#include "loading/extractionview.hpp"
#include "system/notice.hpp"
#include "system/pipetee.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"

ListedArchive& ListedArchive::operator=(ListedArchive&& other) noexcept {
  if (this == &other) return *this;
  Close();
  path_ = std::move(other.path_);
  members_ = std::move(other.members_);
  error_ = std::move(other.error_);
  open_error_ = other.open_error_;
  fd_ = std::exchange(other.fd_, -1);
  said_ = std::exchange(other.said_, -1);
  return *this;
}

void ListedArchive::Close() {
  if (fd_ >= 0) close(fd_);
  if (said_ >= 0) close(said_);
  fd_ = said_ = -1;
}

namespace {

// A memory file for a child's output, closed when the listing is done.
struct MemoryFile {
  explicit MemoryFile(const char* name) : fd(memfd_create(name, MFD_CLOEXEC)) {}
  ~MemoryFile() {
    if (fd >= 0) close(fd);
  }
  int fd;
};

// A pipe whose ends the installer closes once the children hold theirs.
struct Pipe {
  explicit Pipe(bool wanted) {
    if (!wanted || pipe2(ends, O_CLOEXEC) != 0) ends[0] = ends[1] = -1;
  }
  ~Pipe() {
    for (int end : ends) CloseEnd(end);
  }
  static void CloseEnd(int& end) {
    if (end >= 0) close(end);
    end = -1;
  }
  bool ok() const { return ends[0] >= 0; }
  int ends[2];
};

constexpr uint64_t kBlock = 512, kTypeFlag = 156;

// A plain archive read forward in windows of 1 MiB: the listing goes
// forward, and a file of small members holds many headers, and their data,
// in one window.
class ArchiveWindow {
 public:
  explicit ArchiveWindow(int fd) : fd_(fd), window_(kWindow) {}

  // Passes the bytes [offset, offset + size) to `see`, piece by piece;
  // false when the file ends before them or cannot be read.
  template <typename See>
  bool Read(uint64_t offset, uint64_t size, See see) {
    while (size > 0) {
      if (offset < start_ || offset >= start_ + held_) {
        ssize_t got;
        do {
          got = pread(fd_, window_.data(), kWindow, static_cast<off_t>(offset));
        } while (got < 0 && errno == EINTR);
        start_ = offset;
        held_ = got > 0 ? static_cast<uint64_t>(got) : 0;
        if (held_ == 0) return false;
      }
      uint64_t piece = std::min(size, start_ + held_ - offset);
      see(window_.data() + (offset - start_), static_cast<size_t>(piece));
      offset += piece;
      size -= piece;
    }
    return true;
  }

  // Whether the header at block `at` says a sparse file.
  bool SaysSparse(uint64_t at) {
    char flag = 0;
    return at < kLastBlock &&
           Read(at * kBlock + kTypeFlag, 1, [&](const char* byte, size_t) { flag = *byte; }) &&
           flag == 'S';
  }

  // The digest of `size` bytes of data after the header at block `at`.
  FileDigest DataAfter(uint64_t at, uint64_t size) {
    Sha256 digest;
    FileDigest made;
    made.known = at < kLastBlock && Read((at + 1) * kBlock, size, [&](const char* bytes, size_t n) {
                   digest.Add(bytes, n);
                 });
    made.sha256 = digest.Finish();
    made.size = size;
    return made;
  }

 private:
  static constexpr size_t kWindow = 1 << 20;
  static constexpr uint64_t kLastBlock = UINT64_MAX / kBlock - 1;
  int fd_;
  std::vector<char> window_;
  uint64_t start_ = 0, held_ = 0;
};

// The blocks of a stream whose type flag says a sparse file, seen as the
// stream goes by (any block, header or not: the listing tells which are
// headers).
class SparseBlocks {
 public:
  void See(const char* bytes, size_t size) {
    // The first type flag at or after the piece's start, then one a block.
    uint64_t at = offset_ + (kTypeFlag + kBlock - offset_ % kBlock) % kBlock;
    for (; at < offset_ + size; at += kBlock) {
      if (bytes[at - offset_] == 'S') blocks_.push_back(at / kBlock);
    }
    offset_ += size;
  }
  bool SaysSparse(uint64_t at) const {
    return std::binary_search(blocks_.begin(), blocks_.end(), at);
  }

 private:
  uint64_t offset_ = 0;
  std::vector<uint64_t> blocks_;
};

}  // namespace

void ListedArchive::List(const std::string& path, bool compressed, const Sandbox& sandbox,
                         const MediumSums& sums, bool digests, int niceness) {
  Close();
  path_ = path;
  members_ = MemberList();
  error_.clear();
  open_error_ = 0;
  fd_ = OpenRegularFile(path);
  if (fd_ < 0) {
    open_error_ = errno != 0 ? errno : EINVAL;
    return;
  }
  // The bytes checked are those of the descriptor tar reads: a plain
  // archive's while tar lists it (which skips the data), a compressed one's
  // before gunzip reads it.
  std::string unlike_sums;
  auto check = [&] { unlike_sums = sums.Check(path, fd_); };
  if (compressed) check();
  if (!unlike_sums.empty()) {
    error_ = "not extracted: " + unlike_sums;
    return;
  }
  error_ = ArchiveFormMismatch(fd_, compressed);
  if (!error_.empty()) return;
  // tar writes its listing into a file of the installer's, not a pipe: a
  // line at a time through a pipe would cost a switch between the two
  // processes for every member.
  MemoryFile listing("tar-listing");
  said_ = memfd_create("tar-said", MFD_CLOEXEC);
  Pipe unpacked(compressed), to_listing(compressed);
  if (listing.fd < 0 || said_ < 0 || (compressed && (!unpacked.ok() || !to_listing.ok()))) {
    error_ = std::strerror(errno);
    return;
  }
  // tar's own words (" link to ") are the untranslated ones, and its
  // quoting does not depend on the locale.
  Command tar = Reader(sandbox, ListingArguments(ArchiveOnStandardInput(!compressed)), niceness);
  Command gunzip = Reader(sandbox, {}, niceness);
  gunzip.stdout_fd = unpacked.ends[1];
  tar.stdout_fd = listing.fd;
  tar.stdin_fd = compressed ? to_listing.ends[0] : fd_;
  // The type flags of the headers tar lists are looked at where tar found
  // them: in the file, or as gunzip's output goes by on its way to tar.
  ArchiveWindow in_file(fd_);
  SparseBlocks in_stream;
  std::vector<const Command*> children = {&tar};
  std::function<void()> pass = check;
  if (compressed) {
    children.push_back(&gunzip);
    pass = [&] {
      Pipe::CloseEnd(to_listing.ends[0]);
      Pipe::CloseEnd(unpacked.ends[1]);
      PassOnAndSee(unpacked.ends[0], to_listing.ends[1],
                   [&](const char* bytes, size_t size) { in_stream.See(bytes, size); });
      Pipe::CloseEnd(to_listing.ends[1]);
      Pipe::CloseEnd(unpacked.ends[0]);
    };
  }
  std::vector<ChildEnd> ends = RunTogether(children, pass);
  if (!unlike_sums.empty()) {
    error_ = "not extracted: " + unlike_sums;
    return;
  }
  for (size_t i : {size_t{1}, size_t{0}}) {
    if (i >= ends.size() || !error_.empty() || ends[i].Succeeded()) continue;
    error_ =
        ends[i].started ? "cannot read the members" : DescribeEnd(children[i]->argv[0], ends[i]);
  }
  auto says_sparse = [&](uint64_t at) {
    return compressed ? in_stream.SaysSparse(at) : in_file.SaysSparse(at);
  };
  // The data of each file is hashed where tar's listing found it, for the
  // record of the load: in a plain archive without headers between members
  // (where the block of a member is its one header, its data next).
  std::function<FileDigest(uint64_t, uint64_t)> data_after = nullptr;
  if (digests && !compressed) {
    data_after = [&](uint64_t at, uint64_t size) { return in_file.DataAfter(at, size); };
  }
  bool between = error_.empty() && ReadListing(listing.fd, says_sparse, data_after);
  if (lseek(fd_, 0, SEEK_SET) != 0 && error_.empty()) error_ = std::strerror(errno);
  if (error_.empty() && between) CheckByExtracting(listing.fd, compressed, sandbox, niceness);
}

Command ListedArchive::Reader(const Sandbox& sandbox, std::vector<std::string> arguments,
                              int niceness) const {
  const Programs& programs = sandbox.programs();
  Command child;
  if (arguments.empty()) {
    child.argv = {programs.gunzip, "-c"};
    child.work = ChildWork::kFilter;
  } else {
    child.argv = {programs.tar};
    child.argv.insert(child.argv.end(), arguments.begin(), arguments.end());
    child.work = ChildWork::kRead;
  }
  child.stdin_fd = fd_;
  child.environment = programs.Environment(true);
  child.sandbox = &sandbox;
  child.stderr_fd = said_;
  child.niceness = niceness;
  return child;
}

// Headers between members: only tar's extraction view tells where
// extraction finds each member. It reads the archive once more.
void ListedArchive::CheckByExtracting(int listing, bool compressed, const Sandbox& sandbox,
                                      int niceness) {
  MemoryFile view("tar-view");
  int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (view.fd < 0 || nowhere < 0) {
    error_ = std::strerror(errno);
    if (nowhere >= 0) close(nowhere);
    return;
  }
  Command viewer =
      Reader(sandbox, ExtractionViewArguments(ArchiveOnStandardInput(!compressed)), niceness);
  viewer.stdout_fd = nowhere;
  viewer.stderr_fd = view.fd;
  if (compressed) {
    RunPipeline(Reader(sandbox, {}, niceness), viewer);
  } else {
    RunCommand(viewer);
  }
  close(nowhere);
  if (!ReadAlike(listing, view.fd, members_)) {
    error_ = "not extracted: tar finds other members in it when extracting than when listing";
  }
  if (lseek(fd_, 0, SEEK_SET) != 0 && error_.empty()) error_ = std::strerror(errno);
}

bool ListedArchive::ReadListing(int listing, const std::function<bool(uint64_t)>& says_sparse,
                                const std::function<FileDigest(uint64_t, uint64_t)>& data_after) {
  LineReader lines(listing, "tar's listing", 0);
  ListingReader reader(members_);
  std::string_view line;
  size_t number = 1;
  for (; lines.Next(line); ++number) {
    size_t before = members_.size();
    if (!reader.Read(line)) {
      error_ = "tar's listing is not understood at line " + std::to_string(number);
      return false;
    }
    if (members_.size() == before || members_[before].type != ArchiveMember::Type::kFile) continue;
    if (says_sparse(reader.last_at())) {
      members_.SetData(before, ArchiveMember::Data::kSparse);
    } else if (data_after) {
      members_.SetDigest(before, data_after(reader.last_at(), reader.last_size()));
    }
  }
  if (!reader.Ended()) error_ = "tar's listing is not understood at line " + std::to_string(number);
  if (reader.headers_between()) members_.ForgetDigests();
  return reader.headers_between();
}

void ListedArchive::ShowWhatWasSaid() const { ReplaySaid(said_); }
