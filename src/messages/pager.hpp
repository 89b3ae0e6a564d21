// The paging of the listings that the dialogue prints: a line count, and the
// "More?" pause after a blank line when a page is full.
#pragma once

class Pager {
 public:
  // A page holds `page_lines` lines; `used` of them are taken already.
  explicit Pager(int page_lines, int used = 0) : page_lines_(page_lines), used_(used) {}

  // Before the next item: when the page is full, prints a line end and
  // pauses with "More?". False when the operator ends the listing there.
  bool Page();

  // Counts `lines` printed lines.
  void Count(int lines = 1) { used_ += lines; }

 private:
  int page_lines_;
  int used_;
};
