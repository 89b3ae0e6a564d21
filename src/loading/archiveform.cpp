#include "loading/archiveform.hpp"

#include <unistd.h>

#include <cstring>
#include <string_view>

namespace {

// The signatures by which tar recognises compressed data when it reads an
// archive, and the program it would start for each.
struct Signature {
  std::string_view bytes;
  const char* form;
};
constexpr Signature kCompressed[] = {
    {{"\x1f\x8b", 2}, "gzip"},
    {{"\x1f\x9d", 2}, "compress"},
    {{"BZh", 3}, "bzip2"},
    {{"LZIP", 4}, "lzip"},
    {{"\x5d\x00\x00", 3}, "lzma"},
    {{"\x89LZO", 4}, "lzop"},
    {{"\xfd"
      "7zXZ",
      5},
     "xz"},
    {{"\x28\xb5\x2f\xfd", 4}, "zstd"},
};

}  // namespace

std::string ArchiveFormMismatch(int fd, bool compressed) {
  char head[8] = {};
  ssize_t got = pread(fd, head, sizeof head, 0);
  std::string_view start(head, got > 0 ? static_cast<size_t>(got) : 0);
  const Signature* found = nullptr;
  for (const Signature& signature : kCompressed) {
    if (start.starts_with(signature.bytes)) found = &signature;
  }
  if (compressed) {
    if (found && std::strcmp(found->form, "gzip") == 0) return "";
    return "not extracted: its name says gzip, but it does not hold gzip data";
  }
  if (!found) return "";
  return std::string("not extracted: its name says a plain tar archive, but it holds ") +
         found->form + " data";
}
