#include "toc/markduplicates.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "common/copyfile.hpp"
#include "common/lineio.hpp"
#include "common/mappedfile.hpp"
#include "common/textfile.hpp"
#include "toc/tocline.hpp"

namespace {

// A line is marked against the nearest earlier line that is not itself
// marked: a run of equal lines is marked against its first line, which
// stays the reference until a different line comes.
bool NeedsMark(std::string_view line, std::string_view reference, bool first) {
  return !first && TocLine(line).IsDuplicateOf(TocLine(reference));
}

// Marks `file` where it lies, writing only the column 5 bytes that change,
// then cuts it to what the copy would hold: the first `count` lines, each
// with its line end. False (nothing changed) when it cannot be mapped.
bool MarkInPlace(const std::string& file, int count) {
  MappedFile mod(file, true);
  if (!mod.mapped()) return false;
  std::string_view reference;
  std::string_view line;
  size_t at = 0;
  int lines = 0;
  for (size_t next; lines < count && LineAt(mod.text(), at, line, next); at = next, ++lines) {
    if (!NeedsMark(line, reference, at == 0)) {
      reference = line;
    } else if (TocLine(line).PackageClass() != '*' && line.size() > 5) {
      // A marked line never becomes the reference, so the reference read
      // here is never a changed line.
      mod.data()[at + 5] = '*';
    }
  }
  if (at < mod.size()) {
    if (ftruncate(mod.fd(), static_cast<off_t>(at)) != 0) DieFor(file);
  } else if (mod.data()[mod.size() - 1] != '\n') {
    if (pwrite(mod.fd(), "\n", 1, static_cast<off_t>(mod.size())) != 1) DieFor(file);
  }
  return true;
}

// Writes the marked first `count` lines of `file` to `scratch` and copies
// that to `result`.
void MarkByCopy(const std::string& file, int count, const std::string& result,
                const std::string& scratch) {
  LineReader in(file);
  LineWriter out(scratch);
  std::string reference;
  std::string marked;
  std::string_view line;
  bool changed = false;
  for (int i = 0; i < count && in.Next(line); ++i) {
    if (NeedsMark(line, reference, i == 0)) {
      if (TocLine(line).PackageClass() != '*') {
        marked.assign(line);
        TocLine::SetPackageClass(marked, '*');
        line = marked;
        changed = true;
      }
    } else {
      reference.assign(line);
    }
    out.Write(line);
  }
  // Unmarked lines are copied unchanged: when no line was marked and the
  // copy is as long as the file (no line after `count`, no missing final
  // line end), a file that is the result already holds it.
  struct stat st;
  if (fstat(in.fd(), &st) != 0 || static_cast<uint64_t>(st.st_size) != out.Written()) {
    changed = true;
  }
  out.Close();
  if (changed || file != result) CopyFile(scratch, result);
}

}  // namespace

void MarkDuplicates(const std::string& file, int count, const std::string& result,
                    const std::string& scratch) {
  if (file == result && count > 0 && MarkInPlace(file, count)) return;
  MarkByCopy(file, count, result, scratch);
}
