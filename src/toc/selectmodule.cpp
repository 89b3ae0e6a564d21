#include "toc/selectmodule.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "common/copyfile.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "toc/tocindex.hpp"
#include "toc/tocline.hpp"

namespace {

// Copies the noted runs of one category to `out`; returns the line count.
int CopyRuns(int in, const std::string& toc, const TocIndex& index, int category, int out,
             const std::string& name) {
  int count = 0;
  for (const TocRun& run : index.runs[category]) {
    CopyRange(in, run.begin, run.bytes, out, toc, name);
    count += static_cast<int>(run.lines);
    // The last line of the file may lack its line end; the copy has one.
    if (index.ends_without_line_end && run.begin + run.bytes == static_cast<uint64_t>(index.size)) {
      WriteAll(out, "\n", 1, name);
    }
  }
  return count;
}

// The plain pass, for files that cannot be read at an offset (a pipe).
int CopyCategoryByReading(LineReader& in, const std::string& code, LineWriter& out) {
  std::string_view line;
  int count = 0;
  if (!in.Next(line)) return 0;  // the header line is never selected
  while (in.Next(line)) {
    if (TocLine(line).HasCategory(code)) {
      out.Write(line);
      ++count;
    }
  }
  return count;
}

}  // namespace

int SelectModule(const std::string& toc, const std::string& out, int category) {
  LineReader in(toc);
  LineWriter target(out);
  int count = 0;
  // Categories have two-digit codes: the walk ends after 99.
  if (category >= 1 && category <= kLastCategory) {
    struct stat st;
    if (fstat(in.fd(), &st) != 0) DieFor(toc);
    if (S_ISREG(st.st_mode)) {
      const TocIndex& index = IndexOfToc(in.fd(), st, toc);
      count = CopyRuns(in.fd(), toc, index, category, target.FlushedFd(), out);
    } else {
      count = CopyCategoryByReading(in, CategoryCode(category), target);
    }
  }
  target.Close();
  return count;
}
