#include "catalogue/categorytitle.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "catalogue/tocindex.hpp"
#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

namespace {

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
  // The index made for the walk over the categories serves here too.
  const TocIndex* index =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? IndexOfToc(fd, st) : nullptr;
  if (!index) {
    rewind(file);
    title = ScanForTitle(file, code);
  } else if (code.size() == 2) {
    // A title line has a code of exactly two characters.
    auto found = index->first_title.find(TitleKey(code[0], code[1]));
    std::string line;
    if (found != index->first_title.end() &&
        fseeko(file, static_cast<off_t>(found->second), SEEK_SET) == 0 && ReadLine(file, line)) {
      title = std::move(line);
    }
  }
  std::fclose(file);
  return title;
}
