// The table-of-contents line view over arbitrary bytes: every field stays
// inside the line and the column rules hold for lines of any length.
#include "toc/tocline.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/medium.hpp"
#include "support.hpp"

namespace {

bool Within(std::string_view field, std::string_view line) {
  return field.empty() ||
         (field.data() >= line.data() && field.data() + field.size() <= line.data() + line.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  TocLine view(line);
  // A carriage return at the end belongs to the line end, not to a field.
  std::string_view content = line.ends_with('\r') ? line.substr(0, size - 1) : line;
  for (std::string_view field :
       {view.CategoryCode(), view.Description(), view.Text(), view.Heading(), view.ArchiveCode(),
        view.EntryPath(), view.EntryWord(), view.DuplicateKey()}) {
    if (!Within(field, line)) Finding("a field outside the line");
  }
  if (view.CategoryCode().size() != std::min<size_t>(content.size(), 2)) {
    Finding("category code width");
  }
  if (view.Description().size() > 54 || view.ArchiveCode().size() > 2 ||
      view.DuplicateKey().size() > 56) {
    Finding("a field wider than its columns");
  }
  if (content.size() > 80 && view.EntryPath().data() != line.data() + 80) {
    Finding("entry path column");
  }
  if (!view.EntryPath().empty() &&
      view.EntryPath().data() + view.EntryPath().size() > content.data() + content.size()) {
    Finding("a carriage return in a field");
  }
  std::string_view word = view.EntryWord();
  if (word.find_first_of(std::string_view(" \t\0", 3)) != std::string_view::npos ||
      view.EntryPath().substr(0, word.size()) != word) {
    Finding("entry word");
  }
  if (view.IsTitle() != (content.size() > 3 && line[3] == '*')) Finding("title mark");
  if (!view.IsDuplicateOf(view)) Finding("a line differs from itself");
  (void)view.Size();

  std::string marked(line);
  TocLine::SetPackageClass(marked, '*');
  for (size_t i = 0; i < size; ++i) {
    if (marked[i] != line[i] && i != 5) Finding("marking changed another column");
  }
  if (content.size() > 5 && !TocLine(marked).IsContinuation()) Finding("marking missed column 5");
  (void)TocVariantOf(std::string(line));
  return 0;
}
