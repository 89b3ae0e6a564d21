#include "catalogue/removemodule.hpp"

#include <cstdio>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/copyfile.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

void RemoveModule(const std::string& selection, int category) {
  const std::string code = CategoryCode(category);
  // A file that cannot be opened ends the run through the exit routine like
  // every other file failure, so no working file is left behind.
  std::FILE* in = OpenOrDie(selection, "r");
  std::FILE* out = OpenAlsoOrDie(TMP3, "w", in);
  std::string line;
  while (ReadLine(in, line)) {
    if (!TocLine(line).HasCategory(code)) WriteLine(out, line);
  }
  std::fclose(in);
  CloseOrDie(out, TMP3);
  RemoveOrDie(PAK);
  CopyFile(TMP3, PAK);
  RemoveOrDie(TMP3);
}
