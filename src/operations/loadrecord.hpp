// What a load wrote, recorded beside its receipt (ZULRECEIPT=FILE):
// FILE.list, every member tar extracted, one a line:
//   TYPE MODE SIZE "PATH"[ -> "TARGET"]
// (TYPE f, d, l or h; MODE in octal; SIZE of a file as written, else 0;
// PATH below the installation directory where the member landed, and a
// link's TARGET, quoted as C quotes a string, every byte that is not
// printable ASCII in octal); and FILE.sums, the SHA-256 of every regular
// file it extracted as sha256sum writes it, relative to the installation
// directory (cd DIR && sha256sum -c FILE.sums). Both are made as the receipt
// is (a private name, mode 0644, renamed) and grow batch by batch as each
// batch's tar ends well, so that a load that fails or is interrupted leaves
// the record of what it did. A path extracted again by a later batch keeps
// only its last line. Once the load has ended well, FILE.list ends with
// the line kRecordComplete: without it, a batch may have unpacked more than
// the record holds.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/checksumlist.hpp"
#include "common/sha256.hpp"
#include "operations/receipt.hpp"

struct RecordedMember {
  char type;          // 'f' file, 'd' directory, 'l' symbolic link, 'h' hard link
  mode_t mode;        // as the archive gives it
  std::string place;  // below the installation directory, where it landed
  std::string link;   // a link's target
  // A file's content as the archive gives it, where known: otherwise the
  // file is read back where it landed.
  FileDigest digest = {};
};

inline constexpr char kRecordComplete[] = "# the load ended";
// The first line of both files: the SHA-256 of the receipt they were
// written beside, as it was once the load began.
inline constexpr char kRecordOfReceipt[] = "# the receipt's SHA-256: ";

// The record file of the receipt `record` with `suffix` (".list" or
// ".sums"), after its first line: only where no user but root and the
// running one can have changed it, as for the receipt itself, and only when
// the first line names the receipt as it is. Otherwise, or when it cannot
// be read, the run ends (status 1) with a line on standard error.
std::string ReadRecordFile(const std::string& record, const char* suffix);

// The checksums the load of the receipt `record` recorded (FILE.sums), by
// path; read as ReadRecordFile reads, and a list that does not parse ends
// the run the same way.
ChecksumList ReadRecordedSums(const std::string& record);

// Reads one line of FILE.list back; false when it is not one.
bool ReadRecordedLine(std::string_view line, RecordedMember& member);

class LoadRecord {
 public:
  LoadRecord() = default;  // no receipt asked for
  // Starts FILE.list and FILE.sums (empty) beside the receipt at `receipt`,
  // for the installation directory open as `root_fd` (path `root_path`).
  // A file that cannot be written ends the run with the perror form.
  LoadRecord(const ReceiptPlace& receipt, int root_fd, std::string root_path);
  LoadRecord(const LoadRecord&) = delete;
  LoadRecord& operator=(const LoadRecord&) = delete;
  ~LoadRecord();

  bool active() const { return active_; }

  // Records what a batch's tar extracted, once it has ended well: its
  // members in archive order. A file's size and checksum are its data's
  // where the archive gave them, else read back beneath the installation
  // directory.
  void Add(const std::vector<RecordedMember>& members);

  // The load has ended well: the record says it is whole.
  void Complete();

 private:
  // Appends the line of `member` to each file's text (to `sums` only for a
  // regular file); false, and nothing appended, for a file that is not one
  // any more. `read_back`: the file's content is read where it landed even
  // where the archive gave its digest.
  bool Lines(const RecordedMember& member, bool read_back, std::string& list, std::string& sums);
  // The directory that holds `place`, open: the one opened last when it is
  // the same (the members of a batch come directory by directory). -1 when
  // it cannot be opened beneath the installation directory.
  int ParentOf(const std::string& place, std::string& name);
  void ForgetParent();
  // Writes both files anew, under private names renamed over theirs: what
  // they held but the lines of `dropped` places, then `list` and `sums`.
  void Rewrite(const std::unordered_set<std::string_view>& dropped, const std::string& list,
               const std::string& sums);
  static std::string PlaceOf(std::string_view line, bool list);

  bool active_ = false;
  ReceiptPlace receipt_;
  int list_fd_ = -1, sums_fd_ = -1;  // the two files, once made
  std::string parent_path_;          // of the directory open as parent_fd_
  int parent_fd_ = -1;
  int root_fd_ = -1;
  std::string root_path_;
  // A hash of every place recorded: a batch that meets one rewrites the
  // files without that place's earlier lines (a hash met by chance costs
  // only that rewrite).
  std::unordered_set<size_t> recorded_;
};
