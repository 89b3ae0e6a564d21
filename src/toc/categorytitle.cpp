#include "toc/categorytitle.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "toc/tocindex.hpp"
#include "toc/tocline.hpp"

namespace {

// The plain scan, for a file that cannot be indexed (a pipe).
std::optional<std::string> ScanForTitle(LineReader& reader, const std::string& code) {
  std::string_view line;
  while (reader.Next(line)) {
    TocLine view(line);
    if (view.HasCategory(code) && view.IsTitle()) return std::string(line);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindCategoryTitle(const std::string& toc, const std::string& code) {
  LineReader reader(toc);
  struct stat st;
  if (fstat(reader.fd(), &st) != 0) DieFor(toc);
  if (!S_ISREG(st.st_mode)) return ScanForTitle(reader, code);
  // The index made for the walk over the categories serves here too. A
  // title line has a code of exactly two characters.
  const TocIndex& index = IndexOfToc(reader.fd(), st, toc);
  if (code.size() != 2) return std::nullopt;
  auto found = index.first_title.find(TitleKey(code[0], code[1]));
  if (found == index.first_title.end()) return std::nullopt;
  LineReader at_title(reader.fd(), toc, found->second);
  std::string_view line;
  if (!at_title.Next(line)) return std::nullopt;
  return std::string(line);
}
