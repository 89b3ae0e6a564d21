#include "toc/removemodule.hpp"

#include "common/copyfile.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "toc/tocline.hpp"

void RemoveModule(const std::string& selection, int category, const std::string& scratch) {
  const std::string code = CategoryCode(category);
  // A file that cannot be opened ends the run through the exit routine like
  // every other file failure, so no working file is left behind.
  LineReader in(selection);
  LineWriter out(scratch);
  std::string_view line;
  while (in.Next(line)) {
    if (!TocLine(line).HasCategory(code)) out.Write(line);
  }
  out.Close();
  RemoveOrDie(selection);
  MoveOver(scratch, selection);
}
