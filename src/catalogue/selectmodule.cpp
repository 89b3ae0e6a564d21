#include "catalogue/selectmodule.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/lineio.hpp"
#include "catalogue/tocindex.hpp"
#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

namespace {

constexpr size_t kChunk = 1 << 20;

// Copies `size` bytes from `at` in `in` to the end of `out`: inside the
// kernel where it can, through a buffer where it cannot.
void CopyRange(int in, uint64_t at, uint64_t size, int out, const std::string& toc,
               const std::string& name, std::vector<char>& buffer, bool& kernel_copy) {
  while (size > 0 && kernel_copy) {
    off_t from = static_cast<off_t>(at);
    ssize_t got = copy_file_range(in, &from, out, nullptr, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
          errno != EOPNOTSUPP && errno != EBADF) {
        DieFor(name);
      }
      kernel_copy = false;  // not between these files, or the file shrank
      break;
    }
    at += static_cast<uint64_t>(got);
    size -= static_cast<uint64_t>(got);
  }
  while (size > 0) {
    if (buffer.empty()) buffer.resize(kChunk);
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size));
    ssize_t got = pread(in, buffer.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file shrank under the index
      DieFor(toc);
    }
    WriteAll(out, buffer.data(), static_cast<size_t>(got), name);
    at += static_cast<uint64_t>(got);
    size -= static_cast<uint64_t>(got);
  }
}

// Copies the noted runs of one category to `out`; returns the line count.
int CopyRuns(int in, const std::string& toc, const TocIndex& index, int category, int out,
             const std::string& name) {
  std::vector<char> buffer;
  bool kernel_copy = true;
  int count = 0;
  for (const TocRun& run : index.runs[category]) {
    CopyRange(in, run.begin, run.bytes, out, toc, name, buffer, kernel_copy);
    count += static_cast<int>(run.lines);
    // The last line of the file may lack its line end; the copy has one.
    if (index.ends_without_line_end &&
        run.begin + run.bytes == static_cast<uint64_t>(index.size)) {
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
      const TocIndex* index = IndexOfToc(in.fd(), st);
      if (!index) DieFor(toc);
      count = CopyRuns(in.fd(), toc, *index, category, target.FlushedFd(), out);
    } else {
      count = CopyCategoryByReading(in, CategoryCode(category), target);
    }
  }
  target.Close();
  return count;
}
