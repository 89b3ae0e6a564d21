// The receipt of a load (ZULRECEIPT=FILE): a table of contents of what the
// load unpacks, so that it can be verified and removed later without the
// medium (install -verify FILE, install -remove FILE).
#pragma once

#include <string>
#include <string_view>

// Where the receipt is written: its directory, held from the start of the
// run, and its name there.
struct ReceiptPlace {
  int dir_fd = -1;
  std::string name;
  std::string path;  // as asked for, made absolute: for messages
  bool empty() const { return path.empty(); }
};

// The receipt asked for (`receipt`, ZULRECEIPT), made absolute against
// `start_dir`; empty when none is asked for. Its directory is opened once,
// here, and only where no user but root and the running one can have
// decided what the path names or can rename what is made in it (see
// OpenTrustedPath). False when it cannot be: a line on standard error
// names the receipt, the directory on the way that failed and why, and the
// run must end before anything is asked or loaded.
bool WantedReceipt(const std::string& receipt, const std::string& start_dir, ReceiptPlace& place);

// A file made in the directory held as `dir` under a name no one else
// knows (its name in `made`), for the caller to rename over a name there;
// -1 (errno set) when it cannot be made.
int PrivateFileIn(int dir, std::string& made);

// Writes all of `text` to `fd`; false (errno set) when it cannot.
bool WriteText(int fd, std::string_view text);

// Writes the receipt at `place` from the table of contents `toc` and the
// chosen lines `pak`: the header line, the title line of every category up
// to the last one with chosen lines (a category with nothing chosen keeps
// its title, so that the category walk goes on past it), and every chosen
// line exactly as the table of contents has it, in its order. Written into
// a private file in the held directory and renamed over the name there,
// mode 0644; a failure ends the run with the perror form and status 1.
void WriteReceipt(const std::string& toc, const std::string& pak, const ReceiptPlace& place);
