#include "system/progressline.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "system/interrupts.hpp"

namespace {

constexpr double kInterval = 0.1;
// Back to the start of the line and clear it.
constexpr char kErase[] = "\r\033[K";

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// For the interrupt handler: only write(2).
void EraseOnInterrupt() {
  ssize_t ignored = write(STDERR_FILENO, kErase, sizeof kErase - 1);
  (void)ignored;
}

int Columns() {
  winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string Amount(uint64_t value, ProgressLine::Unit unit) {
  char text[32];
  if (unit == ProgressLine::Unit::kEntries) {
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(value) / 1048576.0);
  }
  return text;
}

std::string Clock(double seconds) {
  long total = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

}  // namespace

ProgressLine* ProgressLine::current_ = nullptr;

void ProgressLine::HideCurrent() {
  if (current_) current_->Hide();
}

bool ProgressLine::Wanted(const Settings& settings) {
  return settings.progress && isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(std::string operation, uint64_t total, Unit unit, bool wanted)
    : operation_(std::move(operation)), total_(total), unit_(unit), active_(wanted) {
  if (!active_) return;
  AddInterruptCleanup(EraseOnInterrupt);
  current_ = this;
  start_ = Now();
  Draw(0, 0);
}

ProgressLine::~ProgressLine() { Erase(); }

void ProgressLine::Show(uint64_t done) {
  if (!active_) return;
  double now = Now();
  if (now - last_draw_ < kInterval) return;
  Draw(std::min(done, total_), now - start_);
}

void ProgressLine::Hide() {
  if (!active_ || !drawn_) return;
  std::fputs(kErase, stderr);
  drawn_ = false;
}

void ProgressLine::Erase() {
  if (!active_) return;
  if (drawn_) std::fputs(kErase, stderr);
  RemoveInterruptCleanup(EraseOnInterrupt);
  if (current_ == this) current_ = nullptr;
  active_ = false;
}

void ProgressLine::Draw(uint64_t done, double elapsed) {
  last_draw_ = start_ + elapsed;
  double share = total_ > 0 ? static_cast<double>(done) / static_cast<double>(total_) : 0;
  std::string tail = " " + std::to_string(static_cast<int>(share * 100)) + "%  " +
                     Amount(done, unit_) + " of " + Amount(total_, unit_) + "  " + Clock(elapsed);
  if (done > 0 && done < total_) tail += ", " + Clock(elapsed / share - elapsed) + " left";
  // The whole line stays inside one row of the terminal, however narrow,
  // so that erasing it leaves nothing behind.
  int columns = Columns() - 1;
  int bar = std::min(30, columns - static_cast<int>(operation_.size() + tail.size()) - 3);
  std::string line = operation_;
  if (bar >= 5) {
    int filled = static_cast<int>(share * bar);
    line += " [" + std::string(filled, '#') + std::string(bar - filled, '.') + "]";
  }
  line += tail;
  if (static_cast<int>(line.size()) > columns) line.resize(std::max(columns, 0));
  std::fputs(kErase, stderr);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}
