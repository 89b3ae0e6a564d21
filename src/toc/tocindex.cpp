#include "toc/tocindex.hpp"

#include <unistd.h>

#include <limits>
#include <string_view>

#include "common/lineio.hpp"
#include "toc/tocline.hpp"

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
void Build(int fd, const struct stat& st, const std::string& name, TocIndex& index) {
  index = TocIndex();
  LineReader reader(fd, name, 0);
  std::string_view line;
  bool header = true;
  for (uint64_t begin = 0; reader.Next(line); begin = reader.Offset()) {
    uint64_t end = reader.Offset();
    if (!header) NoteRun(index, begin, end, line);
    if (TocLine(line).IsTitle()) {
      index.first_title.try_emplace(TitleKey(line[0], line[1]), begin);
    }
    header = false;
    // Only the last line can end without a line end.
    index.ends_without_line_end = end == begin + line.size();
  }
  index.device = st.st_dev;
  index.inode = st.st_ino;
  index.size = st.st_size;
  index.modified = st.st_mtim;
}

}  // namespace

uint16_t TitleKey(char first, char second) {
  return static_cast<uint16_t>(static_cast<unsigned char>(first) << 8 |
                               static_cast<unsigned char>(second));
}

const TocIndex& IndexOfToc(int fd, const struct stat& st, const std::string& name) {
  if (!Matches(noted, st)) Build(fd, st, name, noted);
  return noted;
}
