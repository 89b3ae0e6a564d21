#include "catalogue/categorytitle.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

namespace {

// Where the first title line of each category code stands in one version of
// one file. The summary and the verification report look up a title for
// every category of the selection; one pass that notes them all spares a
// scan from the start of the file per category. The key tells a changed or
// replaced file, which is then read again.
struct TitleIndex {
  bool valid = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  std::unordered_map<uint16_t, uint64_t> first_title;  // code -> line offset

  bool Matches(const struct stat& st) const {
    return valid && device == st.st_dev && inode == st.st_ino && size == st.st_size &&
           modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec;
  }
};

TitleIndex title_index;

uint16_t Key(char first, char second) {
  return static_cast<uint16_t>(static_cast<unsigned char>(first) << 8 |
                               static_cast<unsigned char>(second));
}

// One pass over the file noting the first title line of every code: a line
// whose column 3 holds '*' (so it has the two characters of a code). False
// when the file could not be read to its end.
bool BuildIndex(int fd, const struct stat& st, TitleIndex& index) {
  index = TitleIndex();
  std::vector<char> buffer(1 << 20);
  uint64_t base = 0;        // file offset of the buffer's first byte
  uint64_t line_begin = 0;  // file offset of the current line
  char head[4];
  size_t head_length = 0;   // bytes of the current line seen, up to 4
  for (;;) {
    ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    const char* data = buffer.data();
    size_t n = static_cast<size_t>(got);
    for (size_t i = 0; i < n;) {
      while (head_length < 4 && i < n && data[i] != '\n') head[head_length++] = data[i++];
      if (i >= n) break;
      const void* newline = std::memchr(data + i, '\n', n - i);
      if (!newline) break;
      if (head_length == 4 && head[3] == '*') {
        index.first_title.try_emplace(Key(head[0], head[1]), line_begin);
      }
      i = static_cast<size_t>(static_cast<const char*>(newline) - data) + 1;
      line_begin = base + i;
      head_length = 0;
    }
    base += n;
  }
  // The last line may lack its line end.
  if (line_begin < base && head_length == 4 && head[3] == '*') {
    index.first_title.try_emplace(Key(head[0], head[1]), line_begin);
  }
  index.valid = true;
  index.device = st.st_dev;
  index.inode = st.st_ino;
  index.size = st.st_size;
  index.modified = st.st_mtim;
  return true;
}

// The plain scan, for a file that cannot be indexed (a pipe, a read error).
std::optional<std::string> ScanForTitle(std::FILE* file, const std::string& code) {
  std::string line;
  while (ReadLine(file, line)) {
    TocLine view(line);
    if (view.HasCategory(code) && view.IsTitle()) return line;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindCategoryTitle(const std::string& toc, const std::string& code) {
  std::FILE* file = OpenOrDie(toc, "r");
  std::optional<std::string> title;
  struct stat st;
  int fd = fileno(file);
  bool indexed = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                 (title_index.Matches(st) || BuildIndex(fd, st, title_index));
  if (!indexed) {
    rewind(file);
    title = ScanForTitle(file, code);
  } else if (code.size() == 2) {
    // A title line has a code of exactly two characters.
    auto found = title_index.first_title.find(Key(code[0], code[1]));
    std::string line;
    if (found != title_index.first_title.end() &&
        fseeko(file, static_cast<off_t>(found->second), SEEK_SET) == 0 && ReadLine(file, line)) {
      title = std::move(line);
    }
  }
  std::fclose(file);
  return title;
}
