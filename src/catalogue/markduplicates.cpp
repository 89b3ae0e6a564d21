#include "catalogue/markduplicates.hpp"

#include <cstdio>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/copyfile.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

void MarkDuplicates(const std::string& file, int count) {
  std::FILE* in = OpenOrDie(file, "r");
  std::FILE* out = OpenAlsoOrDie(TMP, "w", in);
  std::string reference;
  std::string line;
  // A run of equal lines is marked against its first line, which stays the
  // reference until a different line comes.
  for (int i = 0; i < count && ReadLine(in, line); ++i) {
    if (i > 0 && TocLine(line).IsDuplicateOf(TocLine(reference))) {
      TocLine::SetPackageClass(line, '*');
    } else {
      reference = line;
    }
    WriteLine(out, line);
  }
  std::fclose(in);
  CloseOrDie(out, TMP);
  CopyFile(TMP, MOD);
}
