// The members of a tar archive as tar itself reads them: taken from tar's own
// verbose listing of the very bytes it then extracts, so that what the
// installer judges is what tar makes, never a second reading of the archive.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/sha256.hpp"

struct MemberView;

struct ArchiveMember {
  // kSpecial: a device or a FIFO; kOther: any other type but the four a
  // load extracts (a contiguous file, a volume header, a type tar does not
  // know...).
  enum class Type { kFile, kDirectory, kSymlink, kHardlink, kSpecial, kOther };
  // Whether tar, extracting the member, reads the blocks that its listing
  // skipped as the member's data (see ListingReader).
  enum class Data : uint8_t {
    kAsListed,
    kOnLinkOrDirectory,  // a link or directory whose size is not 0
    kShort,              // the archive holds fewer blocks than its size needs
    kSparse,             // its header says it is a sparse file
  };
  std::string name = {};  // as tar reads it, before it strips anything
  Type type = Type::kFile;
  std::string link = {};  // the target of a symbolic or hard link
  mode_t mode = 0;        // permission and set-ID bits
  Data data = Data::kAsListed;

  operator MemberView() const;
};

// A member as a listing holds it: its name and link target are views into
// the listing.
struct MemberView {
  std::string_view name, link;
  ArchiveMember::Type type;
  mode_t mode;
  ArchiveMember::Data data;
  // The digest of a file's data where it lies in the archive (what tar
  // writes for it), where the listing made one.
  const FileDigest* digest = nullptr;
};

inline ArchiveMember::operator MemberView() const { return {name, link, type, mode, data}; }

// The members of one listing, packed: a load may list hundreds of thousands
// of them. Every 4096 members share one block of text, where their names and
// link targets lie one after another; each member keeps where its text
// begins in the block, the two lengths, and its mode, type and data: 16
// bytes. Views of a member stay valid until the next member is added.
class MemberList {
 public:
  // False when the member's text does not fit its block (4 GiB).
  bool Add(const ArchiveMember& member);
  void SetData(size_t index, ArchiveMember::Data data);
  // The digest of member `index`'s data (only files have one; kept apart,
  // as most listings make none).
  void SetDigest(size_t index, const FileDigest& digest);
  void ForgetDigests() { digests_ = {}; }
  size_t size() const { return size_; }
  MemberView operator[](size_t index) const;

  class Iterator {
   public:
    Iterator(const MemberList& list, size_t index) : list_(&list), index_(index) {}
    MemberView operator*() const { return (*list_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return index_ != other.index_; }

   private:
    const MemberList* list_;
    size_t index_;
  };
  Iterator begin() const { return {*this, 0}; }
  Iterator end() const { return {*this, size_}; }

 private:
  struct Packed {
    uint32_t at;  // in the block's text: the name, then the link
    uint32_t name_size;
    uint32_t link_size;
    uint16_t mode;
    uint8_t type;
    uint8_t data;
  };
  static_assert(sizeof(Packed) == 16);
  struct Block {
    std::unique_ptr<Packed[]> members;
    std::vector<char> text;
  };
  static constexpr size_t kPerBlock = 4096;

  std::vector<Block> blocks_;
  size_t size_ = 0;
  std::vector<FileDigest> digests_;
};

// tar's arguments (after the program) that list the archive `archive`, one
// member a line, every name and link target quoted so that no byte of it can
// be mistaken for the line's own punctuation.
std::vector<std::string> ListingArguments(const std::string& archive);

// The name under which tar reads an archive that is its standard input:
// tar reads "-" only from start to end, but skips what it need not read in
// a file it opened itself, and /dev/fd/0 opens the very file again.
// `seekable`: the standard input is the archive itself, not a pipe.
const char* ArchiveOnStandardInput(bool seekable);

// What one line of that listing is.
enum class ListingLine {
  kMember,
  kEnd,            // the end of the archive: its zero block, or the end of the file
  kNotUnderstood,  // not of the listing's form: the whole listing cannot be trusted
};

// Where a line says tar found what it lists: the block of the member's
// header (of the first header of a GNU long name or link), and the blocks
// of data that its size gives (`sized`: the line shows a size; a device
// shows its numbers instead).
struct ListedBlocks {
  uint64_t at = 0;
  uint64_t data = 0;
  uint64_t size = 0;  // in bytes
  bool sized = false;
};

// The block at the head of a line of tar's listing ("block N: "), taken
// off the line; what follows is a member (kMember) or the end.
ListingLine ParseBlockLine(std::string_view& line, uint64_t& at);

// One line of that listing.
ListingLine ParseListingLine(std::string_view line, ArchiveMember& member, ListedBlocks& blocks);

// Reads the listing line by line into members and marks, in each member's
// `data`, whether tar's extraction reads it as the listing did.
class ListingReader {
 public:
  explicit ListingReader(MemberList& members) : members_(members) {}
  // False when the line is not understood, or follows the end.
  bool Read(std::string_view line);
  // Whether the listing ended as tar ends every listing it completes.
  bool Ended() const { return ended_; }
  // The block of the member read last (of its first header).
  uint64_t last_at() const { return last_at_; }
  // The size the line read last shows, in bytes (0 when it shows none).
  uint64_t last_size() const { return last_size_; }
  // Whether some header lies where no member's own header is counted: a
  // pax header, a GNU long name or link, a global header, or blocks that
  // one member's size leaves out.
  bool headers_between() const { return headers_between_; }

 private:
  MemberList& members_;
  ArchiveMember line_;  // the member of the line read last
  bool ended_ = false;
  bool before_ = false;   // a member was read
  uint64_t next_at_ = 0;  // the first block the next header may be at
  uint64_t last_at_ = 0;
  uint64_t last_size_ = 0;
  bool headers_between_ = false;
};
