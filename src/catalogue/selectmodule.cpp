#include "catalogue/selectmodule.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

namespace {

constexpr int kLastCategory = 99;
constexpr size_t kChunk = 1 << 20;

// A stretch of consecutive lines of one category in the file: `bytes` bytes
// from `begin`, `lines` whole lines (the last line of the file may lack its
// line end). 16 bytes, so that even a file whose categories alternate line
// by line keeps its index small.
struct Run {
  uint64_t begin;
  uint32_t bytes;
  uint32_t lines;
};

// Where each category's lines stand in one version of one file. The walk
// over the categories asks for every category in turn; noting the places in
// one pass spares a pass over the whole file per category. The key tells a
// changed or replaced file, which is then read again.
struct CategoryIndex {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool ends_without_line_end = false;
  // deque: no doubling copies while a large, interleaved file is noted.
  std::array<std::deque<Run>, kLastCategory + 1> runs;

  bool Matches(const std::string& name, const struct stat& st) const {
    return size >= 0 && path == name && device == st.st_dev && inode == st.st_ino &&
           size == st.st_size && modified.tv_sec == st.st_mtim.tv_sec &&
           modified.tv_nsec == st.st_mtim.tv_nsec;
  }
};

CategoryIndex index_cache;

// The category number of a line from its first two characters, 0 when they
// are no category code that the walk reaches.
int CategoryOf(std::string_view head) {
  std::string_view code = TocLine(head).CategoryCode();
  if (code.size() != 2) return 0;
  if (code[0] < '0' || code[0] > '9' || code[1] < '0' || code[1] > '9') return 0;
  return (code[0] - '0') * 10 + (code[1] - '0');
}

void NoteLine(CategoryIndex& index, uint64_t begin, uint64_t end, std::string_view head) {
  int category = CategoryOf(head);
  if (category == 0) return;
  std::deque<Run>& runs = index.runs[category];
  const uint64_t limit = std::numeric_limits<uint32_t>::max();
  if (!runs.empty()) {
    Run& last = runs.back();
    if (last.begin + last.bytes == begin && last.bytes + (end - begin) <= limit &&
        last.lines < limit) {
      last.bytes += static_cast<uint32_t>(end - begin);
      ++last.lines;
      return;
    }
  }
  // A single line longer than a run can hold is split over several runs;
  // only the first of them counts the line.
  uint32_t lines = 1;
  while (end - begin > limit) {
    runs.push_back({begin, static_cast<uint32_t>(limit), lines});
    begin += limit;
    lines = 0;
  }
  runs.push_back({begin, static_cast<uint32_t>(end - begin), lines});
}

// One pass over the file, noting every line after the header line.
void BuildIndex(int fd, const std::string& toc, const struct stat& st, CategoryIndex& index) {
  index = CategoryIndex();
  std::vector<char> buffer(kChunk);
  uint64_t base = 0;        // file offset of the buffer's first byte
  uint64_t line_begin = 0;  // file offset of the current line
  char head[2];
  size_t head_length = 0;
  bool header = true;
  auto end_line = [&](uint64_t end) {
    if (!header) NoteLine(index, line_begin, end, std::string_view(head, head_length));
    header = false;
    line_begin = end;
    head_length = 0;
  };
  for (;;) {
    ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      DieFor(toc);
    }
    if (got == 0) break;
    const char* data = buffer.data();
    size_t n = static_cast<size_t>(got);
    size_t i = 0;
    while (i < n) {
      while (head_length < 2 && i < n && data[i] != '\n') head[head_length++] = data[i++];
      if (i >= n) break;
      const void* newline = std::memchr(data + i, '\n', n - i);
      if (!newline) break;
      i = static_cast<size_t>(static_cast<const char*>(newline) - data) + 1;
      end_line(base + i);
    }
    base += n;
  }
  if (line_begin < base) {
    index.ends_without_line_end = true;
    end_line(base);
  }
  index.path = toc;
  index.device = st.st_dev;
  index.inode = st.st_ino;
  index.size = st.st_size;
  index.modified = st.st_mtim;
}

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
int CopyRuns(int in, const std::string& toc, const CategoryIndex& index, int category, int out,
             const std::string& name) {
  std::vector<char> buffer;
  bool kernel_copy = true;
  int count = 0;
  for (const Run& run : index.runs[category]) {
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
      if (!index_cache.Matches(toc, st)) BuildIndex(in.fd(), toc, st, index_cache);
      count = CopyRuns(in.fd(), toc, index_cache, category, target.FlushedFd(), out);
    } else {
      count = CopyCategoryByReading(in, CategoryCode(category), target);
    }
  }
  target.Close();
  return count;
}
