#include "common/medium.hpp"

#include <cctype>

const char* const kTocNames[kNameForms] = {"01.toc", "01.toc;1", "01.toc-1",
                                           "01.TOC", "01.TOC;1", "01.TOC-1"};

namespace {

const char* const kCompressedSuffixes[kCompressionForms] = {"tar.z", "tar.Z", "TAR.Z"};

}  // namespace

std::string InNameForm(std::string_view stem, std::string_view extension, int form) {
  static const char* const kVersions[3] = {"", ";1", "-1"};
  std::string name = std::string(stem) + "." + std::string(extension);
  if (form >= 3) {
    for (size_t i = stem.size() + 1; i < name.size(); ++i) {
      name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
  }
  return name + kVersions[form % 3];
}

int TocVariantOf(const std::string& file_name) {
  std::string base = file_name.substr(file_name.rfind('/') + 1);
  for (int i = 0; i < kNameForms; ++i) {
    if (base == kTocNames[i]) return i;
  }
  return 0;
}

std::string ArchiveName(std::string_view code, int variant, int compression) {
  if (compression == kPlain) return InNameForm(code, "tar", variant);
  return std::string(code) + kCompressedSuffixes[compression];
}
