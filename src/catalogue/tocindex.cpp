#include "catalogue/tocindex.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "catalogue/tocline.hpp"

namespace {

TocIndex noted;

bool Matches(const TocIndex& index, const struct stat& st) {
  return index.size >= 0 && index.device == st.st_dev && index.inode == st.st_ino &&
         index.size == st.st_size && index.modified.tv_sec == st.st_mtim.tv_sec &&
         index.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// The category number of a line from its first two characters, 0 when they
// are no category code that the walk reaches.
int CategoryOf(std::string_view head) {
  std::string_view code = TocLine(head).CategoryCode();
  if (code.size() != 2) return 0;
  if (code[0] < '0' || code[0] > '9' || code[1] < '0' || code[1] > '9') return 0;
  return (code[0] - '0') * 10 + (code[1] - '0');
}

void NoteRun(TocIndex& index, uint64_t begin, uint64_t end, std::string_view head) {
  int category = CategoryOf(head);
  if (category == 0) return;
  std::deque<TocRun>& runs = index.runs[category];
  const uint64_t limit = std::numeric_limits<uint32_t>::max();
  if (!runs.empty()) {
    TocRun& last = runs.back();
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

// One pass over the file: the runs of every line after the header line and
// the first title line of every code.
bool Build(int fd, const struct stat& st, TocIndex& index) {
  index = TocIndex();
  std::vector<char> buffer(1 << 20);
  uint64_t base = 0;        // file offset of the buffer's first byte
  uint64_t line_begin = 0;  // file offset of the current line
  char head[4];
  size_t head_length = 0;   // characters of the current line seen, up to 4
  bool header = true;
  auto end_line = [&](uint64_t end) {
    std::string_view seen(head, head_length);
    if (!header) NoteRun(index, line_begin, end, seen);
    if (TocLine(seen).IsTitle()) index.first_title.try_emplace(TitleKey(head[0], head[1]), line_begin);
    header = false;
    line_begin = end;
    head_length = 0;
  };
  for (;;) {
    ssize_t got = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(base));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      index.size = -1;
      return false;
    }
    if (got == 0) break;
    const char* data = buffer.data();
    size_t n = static_cast<size_t>(got);
    size_t i = 0;
    while (i < n) {
      while (head_length < 4 && i < n && data[i] != '\n') head[head_length++] = data[i++];
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
  index.device = st.st_dev;
  index.inode = st.st_ino;
  index.size = st.st_size;
  index.modified = st.st_mtim;
  return true;
}

}  // namespace

uint16_t TitleKey(char first, char second) {
  return static_cast<uint16_t>(static_cast<unsigned char>(first) << 8 |
                               static_cast<unsigned char>(second));
}

const TocIndex* IndexOfToc(int fd, const struct stat& st) {
  if (Matches(noted, st)) return &noted;
  return Build(fd, st, noted) ? &noted : nullptr;
}
