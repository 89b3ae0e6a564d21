#include "catalogue/removemodule.hpp"

#include <cstdio>

#include "catalogue/lineio.hpp"
#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"
#include "driver/installc.hpp"

void RemoveModule(const std::string& selection, int category) {
  const std::string code = CategoryCode(category);
  // A file that cannot be opened ends the run through the exit routine like
  // every other file failure, so no working file is left behind.
  std::FILE* in = OpenOrDie(selection, "r");
  std::FILE* out = CreateOrDie(TMP3, in);
  LineReader reader(in, selection);
  std::string_view line;
  while (reader.Next(line)) {
    if (!TocLine(line).HasCategory(code)) WriteLine(out, line);
  }
  std::fclose(in);
  CloseOrDie(out, TMP3);
  RemoveOrDie(PAK);
  MoveOver(TMP3, PAK);
}
