#include "operations/archivelisting.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "operations/archiveform.hpp"
#include "operations/extractionview.hpp"
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

}  // namespace

void ListedArchive::List(const std::string& path, bool compressed, const Sandbox& sandbox,
                         int niceness) {
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
  error_ = ArchiveFormMismatch(fd_, compressed);
  if (!error_.empty()) return;
  // tar writes its listing into a file of the installer's, not a pipe: a
  // line at a time through a pipe would cost a switch between the two
  // processes for every member. Beside it, tar extracts the same bytes to
  // nowhere and says where it found each member (see ReadAlike); gunzip,
  // for a compressed archive, runs once for both.
  MemoryFile listing("tar-listing"), view("tar-view");
  said_ = memfd_create("tar-said", MFD_CLOEXEC);
  int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  Pipe unpacked(compressed), to_listing(compressed), to_view(compressed);
  if (listing.fd < 0 || view.fd < 0 || said_ < 0 || nowhere < 0 ||
      (compressed && (!unpacked.ok() || !to_listing.ok() || !to_view.ok()))) {
    error_ = std::strerror(errno);
    if (nowhere >= 0) close(nowhere);
    return;
  }
  // tar's own words (" link to ") are the untranslated ones, and its
  // quoting does not depend on the locale.
  const Programs& programs = sandbox.programs();
  const char* archive = ArchiveOnStandardInput(!compressed);
  Command tar{{programs.tar}}, viewer{{programs.tar}};
  for (std::string& argument : ListingArguments(archive)) tar.argv.push_back(std::move(argument));
  for (std::string& argument : ExtractionViewArguments(archive)) {
    viewer.argv.push_back(std::move(argument));
  }
  Command gunzip{{programs.gunzip, "-c"}, fd_, unpacked.ends[1]};
  for (Command* child : {&tar, &viewer, &gunzip}) {
    child->environment = programs.Environment(true);
    child->sandbox = &sandbox;
    child->work = child == &gunzip ? ChildWork::kFilter : ChildWork::kRead;
    child->stderr_fd = said_;
    child->niceness = niceness;
  }
  tar.stdout_fd = listing.fd;
  viewer.stdout_fd = nowhere;
  viewer.stderr_fd = view.fd;
  tar.stdin_fd = compressed ? to_listing.ends[0] : fd_;
  viewer.stdin_fd = compressed ? to_view.ends[0] : fd_;
  std::vector<const Command*> children = {&tar, &viewer};
  std::function<void()> pass = nullptr;
  if (compressed) {
    children.push_back(&gunzip);
    pass = [&] {
      for (Pipe* pipe : {&to_listing, &to_view}) Pipe::CloseEnd(pipe->ends[0]);
      Pipe::CloseEnd(unpacked.ends[1]);
      PassToBoth(unpacked.ends[0], to_listing.ends[1], to_view.ends[1]);
      for (Pipe* pipe : {&to_listing, &to_view}) Pipe::CloseEnd(pipe->ends[1]);
      Pipe::CloseEnd(unpacked.ends[0]);
    };
  }
  std::vector<ChildEnd> ends = RunTogether(children, pass);
  close(nowhere);
  // The listing's failure is said first; the view's exit status counts for
  // nothing (it complains of what extraction would), only where it read.
  for (size_t i : {size_t{2}, size_t{0}}) {
    if (i >= ends.size() || !error_.empty() || ends[i].Succeeded()) continue;
    error_ = ends[i].started || ends[i].error == 0
                 ? "cannot read the members"
                 : children[i]->argv[0] + ": " + std::strerror(ends[i].error);
  }
  if (error_.empty()) ReadListing(listing.fd);
  if (error_.empty() && !ReadAlike(listing.fd, view.fd)) {
    error_ = "not extracted: tar finds other members in it when extracting than when listing";
  }
  if (lseek(fd_, 0, SEEK_SET) != 0 && error_.empty()) error_ = std::strerror(errno);
}

void ListedArchive::ReadListing(int listing) {
  LineReader lines(listing, "tar's listing", 0);
  ListingReader reader(members_);
  std::string_view line;
  size_t number = 1;
  for (; lines.Next(line); ++number) {
    if (!reader.Read(line)) {
      error_ = "tar's listing is not understood at line " + std::to_string(number);
      return;
    }
  }
  if (!reader.Ended()) error_ = "tar's listing is not understood at line " + std::to_string(number);
}

void ListedArchive::ShowWhatWasSaid() const { ReplaySaid(said_); }
