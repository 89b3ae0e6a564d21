#include "catalogue/markduplicates.hpp"

#include <sys/stat.h>

#include <cstdio>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/copyfile.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

void MarkDuplicates(const std::string& file, int count) {
  std::FILE* in = OpenOrDie(file, "r");
  std::FILE* out = CreateOrDie(TMP, in);
  LineReader reader(in, file);
  std::string reference;
  std::string marked;
  std::string_view line;
  bool changed = false;
  int copied = 0;
  // A run of equal lines is marked against its first line, which stays the
  // reference until a different line comes.
  for (; copied < count && reader.Next(line); ++copied) {
    if (copied > 0 && TocLine(line).IsDuplicateOf(TocLine(reference))) {
      if (TocLine(line).PackageClass() != '*') {
        marked.assign(line);
        TocLine::SetPackageClass(marked, '*');
        line = marked;
        changed = true;
      }
    } else {
      reference.assign(line);
    }
    WriteLine(out, line);
  }
  // Unmarked lines are copied unchanged: when no line was marked and the
  // copy is as long as the file (no line after `count`, no missing final
  // line end), MOD already holds the result.
  struct stat st;
  if (fstat(fileno(in), &st) != 0 || st.st_size != ftello(out)) changed = true;
  std::fclose(in);
  CloseOrDie(out, TMP);
  if (changed || file != MOD) CopyFile(TMP, MOD);
}
