#include "loading/batchextraction.hpp"

#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <utility>

#include "system/interrupts.hpp"
#include "system/notice.hpp"
#include "system/readposition.hpp"
#include "system/sandbox.hpp"

namespace {

// How far the file open as `fd` has been read through that descriptor.
uint64_t PositionOf(int fd) {
  off_t at = lseek(fd, 0, SEEK_CUR);
  return at > 0 ? static_cast<uint64_t>(at) : 0;
}

void ReportNotStarted(const ChildEnd& end, const std::string& program) {
  if (!end.started) Notice("", DescribeEnd(program, end), "");
}

}  // namespace

void ExtractionEnd::ReportNotStarted() const {
  if (compressed) ::ReportNotStarted(gunzip, "gunzip");
  ::ReportNotStarted(tar, "/bin/tar");
}

// tar reads the archive from the descriptor that was listed; for a
// compressed one gunzip reads it and tar reads gunzip. How far the load has
// come is how far tar has read its own opening of the file, or how far
// gunzip has read the installer's.
ExtractionEnd RunExtraction(const Extraction& extraction,
                            const std::function<void(uint64_t)>& read) {
  int fd = extraction.fd;
  bool plain = !extraction.compressed;
  const Programs& programs = extraction.sandbox->programs();
  Command tar{extraction.tar};
  tar.argv[0] = programs.tar;
  tar.sandbox = extraction.sandbox;
  // tar works in the held directory, whatever the installer's own working
  // directory is (in a private root, the directory bound at its path).
  tar.cwd_fd = extraction.into;
  tar.stderr_fd = extraction.said;
  tar.environment = programs.Environment();
  WaitTick tick = nullptr;
  int tar_fd = -1;
  if (read) {
    tick = [&](const std::vector<pid_t>& running) {
      read(plain ? ReadPosition(running.back(), fd, tar_fd) : PositionOf(fd));
    };
  }
  ExtractionEnd end;
  end.compressed = !plain;
  if (plain) {
    tar.stdin_fd = fd;
    end.tar = RunCommand(tar, tick);
    return end;
  }
  Command gunzip{{programs.gunzip, "-c"}, fd};
  gunzip.stderr_fd = extraction.said;
  gunzip.sandbox = extraction.sandbox;
  gunzip.work = ChildWork::kFilter;
  gunzip.environment = programs.Environment();
  PipelineEnd ends = RunPipeline(gunzip, tar, tick);
  end.gunzip = ends.first;
  end.tar = ends.second;
  return end;
}

ExtractionBeside::ExtractionBeside(ListedArchive archive, Footprint footprint,
                                   Extraction extraction, uint64_t size, int slot, Endings& endings)
    : archive_(std::move(archive)),
      footprint_(std::move(footprint)),
      extraction_(std::move(extraction)),
      size_(size),
      slot_(slot) {
  // What tar and gunzip say is kept until the batch's turn comes, so that
  // batches running side by side do not speak through each other.
  extraction_.said = memfd_create("tar-said", MFD_CLOEXEC);
  InterruptsHeld held;
  thread_ = std::thread([this, &endings] { Run(endings); });
}

ExtractionBeside::~ExtractionBeside() {
  if (thread_.joinable()) thread_.join();
  if (extraction_.said >= 0) close(extraction_.said);
}

void ExtractionBeside::Run(Endings& endings) {
  end_ = RunExtraction(extraction_, [this](uint64_t at) { read_ = at; });
  {
    std::lock_guard<std::mutex> lock(endings.mutex);
    ended_ = true;
    ++endings.count;
  }
  endings.changed.notify_all();
}

void ExtractionBeside::ShowWhatWasSaid() const { ReplaySaid(extraction_.said); }
