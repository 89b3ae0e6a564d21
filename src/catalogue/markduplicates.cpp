#include "catalogue/markduplicates.hpp"

#include <sys/stat.h>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/copyfile.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

void MarkDuplicates(const std::string& file, int count) {
  LineReader in(file);
  LineWriter out(TMP);
  std::string reference;
  std::string marked;
  std::string_view line;
  bool changed = false;
  // A run of equal lines is marked against its first line, which stays the
  // reference until a different line comes.
  for (int i = 0; i < count && in.Next(line); ++i) {
    if (i > 0 && TocLine(line).IsDuplicateOf(TocLine(reference))) {
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
