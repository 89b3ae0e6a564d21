#include "operations/archivelisting.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "operations/archiveform.hpp"
#include "system/notice.hpp"
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
  // processes for every member.
  int listing = memfd_create("tar-listing", MFD_CLOEXEC);
  said_ = memfd_create("tar-said", MFD_CLOEXEC);
  if (listing < 0 || said_ < 0) {
    error_ = std::strerror(errno);
    if (listing >= 0) close(listing);
    return;
  }
  // tar's own words (" link to ") are the untranslated ones, and its
  // quoting does not depend on the locale.
  const Programs& programs = sandbox.programs();
  Command tar{{programs.tar}};
  for (std::string& argument : ListingArguments(ArchiveOnStandardInput(!compressed))) {
    tar.argv.push_back(std::move(argument));
  }
  Command gunzip{{programs.gunzip, "-c"}, fd_};
  for (Command* child : {&tar, &gunzip}) {
    child->environment = programs.Environment(true);
    child->sandbox = &sandbox;
    child->work = child == &tar ? ChildWork::kRead : ChildWork::kFilter;
    child->stderr_fd = said_;
    child->niceness = niceness;
  }
  tar.stdout_fd = listing;
  std::vector<std::pair<const Command*, ChildEnd>> ends;
  if (compressed) {
    PipelineEnd pipeline = RunPipeline(gunzip, tar);
    ends = {{&gunzip, pipeline.first}, {&tar, pipeline.second}};
  } else {
    tar.stdin_fd = fd_;
    ends = {{&tar, RunCommand(tar)}};
  }
  for (const auto& [command, end] : ends) {
    if (!error_.empty() || end.Succeeded()) continue;
    error_ = end.started || end.error == 0 ? "cannot read the members"
                                           : command->argv[0] + ": " + std::strerror(end.error);
  }
  if (error_.empty()) ReadListing(listing);
  close(listing);
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
