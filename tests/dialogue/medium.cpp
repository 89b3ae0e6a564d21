#include "medium.hpp"

#include <filesystem>

#include "common/tocformat.hpp"

Medium::Medium() {
  for (const std::string& f : Files()) Stage(f, "content of " + f + "\n");
  Toc(TocHeader("Sample Product 1.0") + TocTitle(1, true, "Base system") +
      TocEntry(1, 'F', 'R', "Runtime", "01", 4, "bin/run") +
      TocEntry(1, 'D', 'O', "Tools", "01", 0, "tools") +
      TocEntry(1, 'F', 'O', "Tools", "01", 2, "tools/a.txt") +
      TocEntry(1, 'F', 'O', "Tools", "01", 2, "tools/b.txt") +
      TocEntry(1, 'F', 'O', "Libraries", "02", 5000, "lib/x.so") +
      TocTitle(2, true, "Documentation") +
      TocEntry(2, 'F', 'O', "Guide", "02", 10, "doc/guide.txt") +
      TocEntry(2, 'F', 'O', "FAQ", "03", 10, "doc/faq.txt"));
  Archive("01", {"bin/run", "tools"});
  Archive("02", {"lib/x.so", "doc/guide.txt"});
  Archive("03", {"doc/faq.txt"});
}

std::vector<std::string> Medium::Files() {
  return {"bin/run", "tools/a.txt", "tools/b.txt", "lib/x.so", "doc/guide.txt", "doc/faq.txt"};
}

void Medium::Populate(const std::vector<std::string>& files) const {
  for (const std::string& f : files) {
    std::filesystem::create_directories(std::filesystem::path(inst() + "/" + f).parent_path());
    std::filesystem::copy_file(staging() + "/" + f, inst() + "/" + f,
                               std::filesystem::copy_options::overwrite_existing);
  }
}
