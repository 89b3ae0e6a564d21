// The receipt of a load (ZULRECEIPT=FILE): a table of contents of what the
// load unpacks, so that it can be verified and removed later without the
// medium (install -verify FILE, install -remove FILE).
#pragma once

#include <string>

// The receipt FILE asked for, made absolute against `start_dir`; empty when
// none is asked for.
std::string WantedReceipt(const std::string& start_dir);

// Writes `receipt` from the table of contents `toc` and the chosen lines
// `pak`: the header line, the title line of every category up to the last
// one with chosen lines (a category with nothing chosen keeps its title, so
// that the category walk goes on past it), and every chosen line exactly as
// the table of contents has it, in its order. Written into a private file
// beside `receipt` and renamed over it, mode 0644; a failure ends the run
// with the perror form and status 1.
void WriteReceipt(const std::string& toc, const std::string& pak, const std::string& receipt);
