#include "common/medium.hpp"

const char* const kTocNames[6] = {"01.toc", "01.toc;1", "01.toc-1",
                                  "01.TOC", "01.TOC;1", "01.TOC-1"};

namespace {

const char* const kPlainSuffixes[6] = {".tar", ".tar;1", ".tar-1", ".TAR", ".TAR;1", ".TAR-1"};
const char* const kCompressedSuffixes[kCompressionForms] = {"tar.z", "tar.Z", "TAR.Z"};

}  // namespace

int TocVariantOf(const std::string& file_name) {
  std::string base = file_name.substr(file_name.rfind('/') + 1);
  for (int i = 0; i < 6; ++i) {
    if (base == kTocNames[i]) return i;
  }
  return 0;
}

std::string ArchiveName(std::string_view code, int variant, int compression) {
  std::string name(code);
  return name +
         (compression == kPlain ? kPlainSuffixes[variant] : kCompressedSuffixes[compression]);
}
