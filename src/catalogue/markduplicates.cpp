#include "catalogue/markduplicates.hpp"

#include <sys/stat.h>

#include "catalogue/lineio.hpp"
#include "catalogue/mappedfile.hpp"
#include "catalogue/tocline.hpp"
#include "common/copyfile.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

namespace {

// A line is marked against the nearest earlier line that is not itself
// marked: a run of equal lines is marked against its first line, which
// stays the reference until a different line comes.
bool NeedsMark(std::string_view line, std::string_view reference, bool first) {
  return !first && TocLine(line).IsDuplicateOf(TocLine(reference));
}

// Marks MOD where it lies, writing only the column 5 bytes that change.
// Only for a MOD of exactly `count` whole lines, which is what the copy
// would have given; false (nothing changed) for any other file.
bool MarkInPlace(int count) {
  MappedFile mod(MOD, true);
  if (!mod.mapped() || mod.data()[mod.size() - 1] != '\n') return false;
  // First find out whether the file is exactly `count` lines.
  size_t at = 0;
  std::string_view line;
  int lines = 0;
  for (size_t next; lines < count && mod.LineAt(at, line, next); at = next) ++lines;
  if (at != mod.size()) return false;
  std::string_view reference;
  at = 0;
  for (size_t next; mod.LineAt(at, line, next); at = next) {
    if (!NeedsMark(line, reference, at == 0)) {
      reference = line;
    } else if (TocLine(line).PackageClass() != '*' && line.size() > 5) {
      // Marked lines never become the reference, so the reference read
      // above is never a patched line.
      mod.data()[at + 5] = '*';
    }
  }
  return true;
}

// Writes the marked first `count` lines of `file` to TMP and makes it MOD.
void MarkByCopy(const std::string& file, int count) {
  LineReader in(file);
  LineWriter out(TMP);
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
  // line end), MOD already holds the result.
  struct stat st;
  if (fstat(in.fd(), &st) != 0 || static_cast<uint64_t>(st.st_size) != out.Written()) {
    changed = true;
  }
  out.Close();
  if (changed || file != MOD) CopyFile(TMP, MOD);
}

}  // namespace

void MarkDuplicates(const std::string& file, int count) {
  if (file == MOD && count > 0 && MarkInPlace(count)) return;
  MarkByCopy(file, count);
}
