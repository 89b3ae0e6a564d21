// One status line on standard error while an operation runs, for an
// operator at a terminal: the operation, a bar, the share done, what is done
// of what, the time so far and an estimate of the rest. It is redrawn at
// most ten times a second and erased when the operation ends (or is
// interrupted), so the terminal ends up showing what it would without it.
// Standard output is never touched.
#pragma once

#include <cstdint>
#include <string>

#include "common/settings.hpp"

class ProgressLine {
 public:
  // No line.
  ProgressLine() : ProgressLine("", 0, Unit::kEntries, false) {}
  enum class Unit { kBytes, kEntries };

  // Whether a line is shown at all: standard error is a terminal and
  // ZULPROGRESS is not "off".
  static bool Wanted(const Settings& settings);

  // A line for `operation` ("Loading") with `total` units to do; shown at
  // once when wanted, else nothing is ever drawn.
  ProgressLine(std::string operation, uint64_t total, Unit unit, bool wanted);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool active() const { return active_; }

  // `done` units are done now; redrawn when a tenth of a second has passed.
  void Show(uint64_t done);

  // Takes the line away before something else is printed; Show() draws it
  // again.
  void Hide();

  // Hide() of the line shown now, if any: for whatever prints while an
  // operation runs.
  static void HideCurrent();

  // Erases the line for good (the destructor does too).
  void Erase();

 private:
  void Draw(uint64_t done, double elapsed);

  static ProgressLine* current_;

  std::string operation_;
  uint64_t total_;
  Unit unit_;
  bool active_;
  bool drawn_ = false;
  double start_ = 0;
  double last_draw_ = -1;
};
