#include "toc/displaypackages.hpp"

#include <cstdio>
#include <optional>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/pager.hpp"
#include "messages/print.hpp"
#include "toc/tocline.hpp"

namespace {

constexpr int kPage = 14;

// Appends "%4d " of `n` (n > 0); this runs once per package of every
// category, where a formatted print would cost more than the rest.
void AppendNumber(std::string& out, int n) {
  char digits[16];
  int length = 0;
  for (; n > 0; n /= 10) digits[length++] = static_cast<char>('0' + n % 10);
  for (int pad = length; pad < 4; ++pad) out += ' ';
  while (length > 0) out += digits[--length];
  out += ' ';
}

// Writes the numbered package list of the category in `file` to `listing`
// (when there is one): one line per optional package, "%4d %s" with its
// number and description. Returns the package count; `title` receives the
// category title.
int WritePackageList(const std::string& file, std::string& title, const std::string* listing) {
  LineReader reader(file);
  std::optional<LineWriter> out;
  if (listing) out.emplace(*listing);
  int n = 0;
  std::string entry;
  std::string_view line;
  bool have = reader.Next(line);
  while (have) {
    TocLine view(line);
    if (view.IsTitle()) {
      title.assign(view.Text());
      have = reader.Next(line);
      continue;
    }
    if (view.IsRequired() || view.IsContinuation()) {
      have = reader.Next(line);
      continue;
    }
    ++n;
    if (out) {
      entry.clear();
      AppendNumber(entry, n);
      entry.append(view.Description());
      out->Write(entry);
    }
    // The package's continuation lines are not listed.
    while ((have = reader.Next(line))) {
      TocLine next(line);
      if (!next.IsTitle() && !next.IsContinuation()) break;
    }
  }
  if (out) out->Close();
  return n;
}

// Prints the package list in `listing`, pausing after every 14th line when
// more follow.
void ShowPackageList(const std::string& listing) {
  std::fputs("\n", stdout);
  nprintf(Msg::kChoicesAre);
  std::fputs("\n\n", stdout);
  LineReader in(listing);
  Pager pager(kPage);
  std::string_view line;
  while (in.Next(line) && pager.Page()) {
    PutVisible(line);
    std::fputc('\n', stdout);
    pager.Count();
  }
}

}  // namespace

int DisplayPackages(const std::string& file, PackageDisplay show, const std::string& listing) {
  std::string title;
  // Only the numbered list is shown from `listing`; the title needs none.
  bool list = show == PackageDisplay::kListing;
  int n = WritePackageList(file, title, list ? &listing : nullptr);
  if (n > 0) {
    if (show == PackageDisplay::kTitle) {
      title.insert(0, 1, '\n');
      title += '\n';
      PutVisible(title);
    } else {
      ShowPackageList(listing);
    }
  }
  RemoveOrDie(listing);
  return n;
}
