#include "operations/receipt.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "common/tocformat.hpp"
#include "common/visibletext.hpp"
#include "system/notice.hpp"
#include "system/trustedpath.hpp"
#include "toc/tocline.hpp"

namespace {

// The category number of a line, 0 when it has none.
int CategoryOf(std::string_view line) {
  std::string_view code = TocLine(line).CategoryCode();
  if (code.size() != 2 || code[0] < '0' || code[0] > '9' || code[1] < '0' || code[1] > '9') {
    return 0;
  }
  return (code[0] - '0') * 10 + (code[1] - '0');
}

// Whether the chosen line `chosen` is the line `line` of the table of
// contents: the same but for the package class, which the choice marks.
bool IsChosenLine(std::string_view line, std::string_view chosen) {
  if (line.size() != chosen.size()) return false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != chosen[i] && i != toc_columns::kPackageClass) return false;
  }
  return true;
}

// The chosen lines, category by category: they are in category order, and
// within a category in the order of the table of contents.
class ChosenLines {
 public:
  explicit ChosenLines(const std::string& pak) : pak_(pak) {
    LineReader in(pak);
    std::string_view line;
    for (uint64_t at = 0; in.Next(line); at = in.Offset()) {
      int category = CategoryOf(line);
      if (category == 0 || TocLine(line).IsTitle()) continue;
      Cursor& cursor = cursors_[category];
      if (!cursor.found) cursor.start = at;
      cursor.found = true;
      last_ = std::max(last_, category);
    }
  }

  // The highest category with a chosen line; 0 when none has one.
  int last() const { return last_; }

  // Whether `line` of the table of contents is the next chosen line of its
  // category; it is then passed.
  bool Take(std::string_view line) {
    int category = CategoryOf(line);
    if (category == 0 || !cursors_[category].found) return false;
    Cursor& cursor = cursors_[category];
    if (!Peek(category, cursor) || !IsChosenLine(line, cursor.current)) return false;
    cursor.pending = false;
    return true;
  }

 private:
  // Where the chosen lines of one category are read, from their first.
  struct Cursor {
    bool found = false;
    uint64_t start = 0;
    int fd = -1;
    std::unique_ptr<LineReader> reader;
    std::string_view current;
    bool pending = false;  // `current` is a chosen line not yet matched
    ~Cursor() {
      reader.reset();
      if (fd >= 0) close(fd);
    }
  };

  bool Peek(int category, Cursor& cursor) {
    if (!cursor.reader) {
      cursor.fd = OpenRegularFile(pak_);
      if (cursor.fd < 0) DieFor(pak_);
      cursor.reader = std::make_unique<LineReader>(cursor.fd, pak_, cursor.start);
    }
    while (!cursor.pending) {
      // The lines of the next category are not this one's.
      if (!cursor.reader->Next(cursor.current) || CategoryOf(cursor.current) != category) {
        return false;
      }
      cursor.pending = !TocLine(cursor.current).IsTitle();
    }
    return true;
  }

  std::string pak_;
  int last_ = 0;
  std::array<Cursor, kLastCategory + 1> cursors_;
};

}  // namespace

bool WriteText(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t wrote = write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    text.remove_prefix(static_cast<size_t>(wrote));
  }
  return true;
}

int PrivateFileIn(int dir, std::string& made) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = ".receipt." + std::to_string(random()) + std::to_string(random());
    int fd = openat(dir, made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WantedReceipt(const std::string& receipt, const std::string& start_dir, ReceiptPlace& place) {
  if (receipt.empty()) return true;
  place.path = receipt[0] == '/' ? receipt : (start_dir == "/" ? "" : start_dir) + "/" + receipt;
  size_t slash = place.path.rfind('/');
  std::string dir = slash == 0 ? "/" : place.path.substr(0, slash);
  place.name = place.path.substr(slash + 1);
  Untrusted untrusted{dir, std::strerror(EISDIR)};
  if (place.name != "" && place.name != "." && place.name != "..") {
    place.dir_fd = OpenTrustedPath(dir, untrusted);
  }
  struct stat st;
  if (place.dir_fd >= 0 && fstat(place.dir_fd, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  if (place.dir_fd >= 0) {
    close(place.dir_fd);
    place.dir_fd = -1;
    untrusted.why = std::strerror(ENOTDIR);
  }
  Notice("install: receipt " + Visible(place.path) + " not written: ", untrusted.where,
         ": " + untrusted.why);
  return false;
}

void WriteReceipt(const std::string& toc, const std::string& pak, const ReceiptPlace& place) {
  ChosenLines chosen(pak);
  std::string temporary;
  int fd = PrivateFileIn(place.dir_fd, temporary);
  if (fd < 0) DieFor(place.path);
  std::string out;
  bool written = true;
  LineReader in(toc);
  std::string_view line;
  for (bool header = true; in.Next(line) && written; header = false) {
    int category = CategoryOf(line);
    bool title = category != 0 && category <= chosen.last() && TocLine(line).IsTitle();
    if (!header && !title && !chosen.Take(line)) continue;
    out.append(line);
    out.push_back('\n');
    if (out.size() >= (1u << 18)) {
      written = WriteText(fd, out);
      out.clear();
    }
  }
  // Readable by all, as a table of contents on a medium is.
  if (!written || !WriteText(fd, out) || fchmod(fd, 0644) != 0 || fsync(fd) != 0 ||
      close(fd) != 0 ||
      renameat(place.dir_fd, temporary.c_str(), place.dir_fd, place.name.c_str()) != 0) {
    int error = errno;
    unlinkat(place.dir_fd, temporary.c_str(), 0);
    errno = error;
    DieFor(place.path);
  }
}
