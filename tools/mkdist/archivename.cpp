#include "archivename.hpp"

namespace {

const char* const kPlainSuffixes[6] = {".tar", ".tar;1", ".tar-1", ".TAR", ".TAR;1", ".TAR-1"};
const char* const kCompressedSuffixes[3] = {"tar.z", "tar.Z", "TAR.Z"};

}  // namespace

std::string ArchiveName(const std::string& code, int name_form, int compression) {
  if (compression == kPlain) return code + kPlainSuffixes[name_form];
  return code + kCompressedSuffixes[compression];
}
