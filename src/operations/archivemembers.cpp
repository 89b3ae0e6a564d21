#include "operations/archivemembers.hpp"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct ArchiveCloser {
  void operator()(archive* reader) const { archive_read_free(reader); }
};

ArchiveMember::Type TypeOf(archive_entry* entry) {
  if (archive_entry_hardlink(entry)) return ArchiveMember::Type::kHardlink;
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
      return ArchiveMember::Type::kFile;
    case AE_IFDIR:
      return ArchiveMember::Type::kDirectory;
    case AE_IFLNK:
      return ArchiveMember::Type::kSymlink;
    default:
      return ArchiveMember::Type::kSpecial;
  }
}

}  // namespace

bool ReadArchiveMembers(int fd, std::vector<ArchiveMember>& members, std::string& error) {
  members.clear();
  std::unique_ptr<archive, ArchiveCloser> reader(archive_read_new());
  if (!reader) {
    error = "out of memory";
    return false;
  }
  // What tar itself reads: tar archives, plain or compressed.
  archive_read_support_filter_all(reader.get());
  archive_read_support_format_tar(reader.get());
  archive_read_support_format_gnutar(reader.get());
  if (archive_read_open_fd(reader.get(), fd, 1 << 16) != ARCHIVE_OK) {
    error = archive_error_string(reader.get());
    return false;
  }
  archive_entry* entry;
  int status;
  while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK ||
         status == ARCHIVE_WARN) {
    ArchiveMember member;
    const char* name = archive_entry_pathname(entry);
    member.name = name ? name : "";
    member.type = TypeOf(entry);
    const char* link = member.type == ArchiveMember::Type::kHardlink ? archive_entry_hardlink(entry)
                                                                     : archive_entry_symlink(entry);
    if (link) member.link = link;
    member.mode = archive_entry_mode(entry);
    members.push_back(std::move(member));
  }
  if (status != ARCHIVE_EOF) {
    const char* why = archive_error_string(reader.get());
    error = why ? why : "not a tar archive";
    return false;
  }
  return true;
}
