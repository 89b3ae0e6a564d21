#include "loading/archivemembers.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The type letter that begins tar's mode column.
ArchiveMember::Type TypeOf(char letter) {
  switch (letter) {
    case '-':
      return ArchiveMember::Type::kFile;
    case 'd':
      return ArchiveMember::Type::kDirectory;
    case 'l':
      return ArchiveMember::Type::kSymlink;
    case 'h':
      return ArchiveMember::Type::kHardlink;
    case 'c':
    case 'b':
    case 'p':
      return ArchiveMember::Type::kSpecial;
    default:
      // Every other type tar knows, and '?' for one it does not.
      return ArchiveMember::Type::kOther;
  }
}

// The nine permission letters after the type letter ("rwsr-xr-t"). The
// execute place also shows set-user-ID, set-group-ID and sticky: 's' or
// 't' with execute, 'S' or 'T' without.
bool ParseMode(std::string_view letters, mode_t& mode) {
  static const mode_t kSpecialBit[] = {S_ISUID, S_ISGID, S_ISVTX};
  static const char kSpecialLetter[] = "sst";
  mode = 0;
  for (size_t who = 0; who < 3; ++who) {
    unsigned shift = 6 - 3 * static_cast<unsigned>(who);
    char r = letters[3 * who], w = letters[3 * who + 1], x = letters[3 * who + 2];
    char special = kSpecialLetter[who], upper = static_cast<char>(special - 'a' + 'A');
    if ((r != 'r' && r != '-') || (w != 'w' && w != '-')) return false;
    if (x != 'x' && x != '-' && x != special && x != upper) return false;
    if (r == 'r') mode |= 4u << shift;
    if (w == 'w') mode |= 2u << shift;
    if (x == 'x' || x == special) mode |= 1u << shift;
    if (x == special || x == upper) mode |= kSpecialBit[who];
  }
  return true;
}

// Reads one quoted name from the start of `text` in tar's "c" quoting and
// takes it off; false when it is not one.
bool Unquote(std::string_view& text, std::string& out) {
  if (text.empty() || text[0] != '"') return false;
  out.clear();
  size_t i = 1;
  while (i < text.size() && text[i] != '"') {
    char c = text[i++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i == text.size()) return false;
    char e = text[i++];
    const char* plain = std::strchr("abfnrtv", e);
    if (e != '\0' && plain) {
      out.push_back("\a\b\f\n\r\t\v"[plain - "abfnrtv"]);
    } else if (e == '\\' || e == '"' || e == '?' || e == '\'') {
      out.push_back(e);
    } else if (e >= '0' && e <= '7') {
      int value = e - '0';
      for (int digits = 1; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7';
           ++digits) {
        value = value * 8 + (text[i++] - '0');
      }
      if (value > 0377) return false;
      out.push_back(static_cast<char>(value));
    } else {
      return false;
    }
  }
  if (i == text.size()) return false;
  text.remove_prefix(i + 1);
  return true;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// A decimal number at the start of `text`, taken off; false when there is
// none or it does not fit.
bool TakeNumber(std::string_view& text, uint64_t& value) {
  size_t digits = 0;
  value = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    uint64_t digit = static_cast<uint64_t>(text[digits] - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  text.remove_prefix(digits);
  return digits > 0;
}

// The next column of blank-separated `text`, taken off with the blanks
// before it.
std::string_view TakeColumn(std::string_view& text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) start = text.size();
  size_t end = std::min(text.find(' ', start), text.size());
  std::string_view column = text.substr(start, end - start);
  text.remove_prefix(end);
  return column;
}

// The size column, in `blocks`: the size in bytes, or for a device its
// numbers ("8,1").
bool ParseSize(std::string_view column, ArchiveMember::Type type, ListedBlocks& blocks) {
  uint64_t size = 0, minor = 0;
  if (!TakeNumber(column, size)) return false;
  if (column.empty()) {
    blocks.sized = true;
    blocks.size = size;
    blocks.data = size / 512 + (size % 512 != 0 ? 1 : 0);
    return true;
  }
  return type == ArchiveMember::Type::kSpecial && TakePrefix(column, ",") &&
         TakeNumber(column, minor) && column.empty();
}

// A member line after its block number: the mode column, then owner, size
// and time, none of which holds a quote; the name is the first quoted
// string.
bool ParseMember(std::string_view line, ArchiveMember& member, ListedBlocks& blocks) {
  size_t quote = line.find('"');
  if (line.size() < 10 || quote == std::string_view::npos || quote < 11) return false;
  member.type = TypeOf(line[0]);
  if (!ParseMode(line.substr(1, 9), member.mode)) return false;
  std::string_view columns = line.substr(10, quote - 10);
  std::string_view owner = TakeColumn(columns);
  if (owner.empty() || !ParseSize(TakeColumn(columns), member.type, blocks)) return false;
  std::string_view rest = line.substr(quote);
  if (!Unquote(rest, member.name)) return false;
  member.link.clear();
  switch (member.type) {
    case ArchiveMember::Type::kSymlink:
      return TakePrefix(rest, " -> ") && Unquote(rest, member.link) && rest.empty();
    case ArchiveMember::Type::kHardlink:
      return TakePrefix(rest, " link to ") && Unquote(rest, member.link) && rest.empty();
    case ArchiveMember::Type::kSpecial:
    case ArchiveMember::Type::kOther:
      return true;  // refused whatever follows ("--Volume Header--", ...)
    default:
      return rest.empty();
  }
}

}  // namespace

std::vector<std::string> ListingArguments(const std::string& archive) {
  // Times in UTC: no time zone to look up for every member (a third of
  // the listing's time), and the time is not judged anyway.
  // Each line begins with the block where tar found what it lists.
  return {"--list", "--verbose",         "--block-number", "--numeric-owner",  "--full-time",
          "--utc",  "--quoting-style=c", "--force-local",  "--file=" + archive};
}

const char* ArchiveOnStandardInput(bool seekable) { return seekable ? "/dev/fd/0" : "-"; }

ListingLine ParseBlockLine(std::string_view& line, uint64_t& at) {
  if (!TakePrefix(line, "block ") || !TakeNumber(line, at) || !TakePrefix(line, ": ")) {
    return ListingLine::kNotUnderstood;
  }
  if (line == "** Block of NULs **" || line == "** End of File **") return ListingLine::kEnd;
  return ListingLine::kMember;
}

ListingLine ParseListingLine(std::string_view line, ArchiveMember& member, ListedBlocks& blocks) {
  blocks = {};
  ListingLine kind = ParseBlockLine(line, blocks.at);
  if (kind != ListingLine::kMember) return kind;
  return ParseMember(line, member, blocks) ? ListingLine::kMember : ListingLine::kNotUnderstood;
}

// Listing, tar reads a member's headers and then skips the blocks its size
// gives; extracting, it reads a regular file's data by that same size, a
// sparse file's by the file's map, and nothing at all for a link or a
// directory. Where the two differ, extraction reads as headers blocks the
// listing skipped, or the other way round, and makes members nobody judged.
// So a member is taken as listed only where the two must agree:
// - a link or directory shows size 0 (its header's size, or a pax size; a
//   hard link's header size is read as 0 both ways). Its extraction reads
//   nothing and its listing skips nothing.
// - a regular file that is not sparse: both read its size.
// - a sparse file shows its real size, while the archive holds only the
//   parts that are not holes: the next header comes sooner than that size
//   allows, and the block numbers show it. tar shows, for each line, the
//   block of the member's header (of the first header of a GNU long name
//   or link), so the next line's block is at least this one's, plus one,
//   plus its data. It may be more: pax extended headers before a member
//   are not listed.
// What the block numbers cannot show is a sparse file whose real size fits
// the blocks it stores but whose map reads more or less (overlapping parts,
// an empty map, a pax 1.0 map in place of data): its line and its blocks are
// those of a regular file. tar's extraction view shows it (ReadAlike).
bool ListingReader::Read(std::string_view line) {
  if (ended_) return false;
  ArchiveMember& member = line_;
  member.data = ArchiveMember::Data::kAsListed;
  ListedBlocks blocks;
  ListingLine kind = ParseListingLine(line, member, blocks);
  if (kind == ListingLine::kNotUnderstood) return false;
  size_t before = members_.size() - 1;
  if (before_ && blocks.at < next_at_ && members_[before].data == ArchiveMember::Data::kAsListed) {
    members_.SetData(before, ArchiveMember::Data::kShort);
  }
  if (blocks.at > next_at_) headers_between_ = true;
  last_at_ = blocks.at;
  last_size_ = blocks.size;
  if (kind == ListingLine::kEnd) {
    ended_ = true;
    return true;
  }
  bool dataless = member.type == ArchiveMember::Type::kDirectory ||
                  member.type == ArchiveMember::Type::kSymlink ||
                  member.type == ArchiveMember::Type::kHardlink;
  if (dataless && blocks.data != 0) member.data = ArchiveMember::Data::kOnLinkOrDirectory;
  if (__builtin_add_overflow(blocks.at, 1 + blocks.data, &next_at_)) {
    next_at_ = std::numeric_limits<uint64_t>::max();
  }
  before_ = true;
  return members_.Add(member);
}

bool MemberList::Add(const ArchiveMember& member) {
  if (size_ % kPerBlock == 0) {
    // The block before is complete: its text takes no more than it holds.
    if (!blocks_.empty()) blocks_.back().text.shrink_to_fit();
    blocks_.push_back({std::make_unique<Packed[]>(kPerBlock), {}});
  }
  Block& block = blocks_.back();
  if (member.name.size() + member.link.size() > UINT32_MAX - block.text.size()) return false;
  block.members[size_ % kPerBlock] = {
      static_cast<uint32_t>(block.text.size()),  static_cast<uint32_t>(member.name.size()),
      static_cast<uint32_t>(member.link.size()), static_cast<uint16_t>(member.mode),
      static_cast<uint8_t>(member.type),         static_cast<uint8_t>(member.data)};
  block.text.insert(block.text.end(), member.name.begin(), member.name.end());
  block.text.insert(block.text.end(), member.link.begin(), member.link.end());
  ++size_;
  return true;
}

void MemberList::SetData(size_t index, ArchiveMember::Data data) {
  blocks_[index / kPerBlock].members[index % kPerBlock].data = static_cast<uint8_t>(data);
}

void MemberList::SetDigest(size_t index, const FileDigest& digest) {
  if (digests_.size() <= index) digests_.resize(size_);
  digests_[index] = digest;
}

MemberView MemberList::operator[](size_t index) const {
  const Block& block = blocks_[index / kPerBlock];
  const Packed& packed = block.members[index % kPerBlock];
  const char* text = block.text.data() + packed.at;
  return {{text, packed.name_size},
          {text + packed.name_size, packed.link_size},
          static_cast<ArchiveMember::Type>(packed.type),
          packed.mode,
          static_cast<ArchiveMember::Data>(packed.data),
          index < digests_.size() && digests_[index].known &&
                  packed.data == static_cast<uint8_t>(ArchiveMember::Data::kAsListed)
              ? &digests_[index]
              : nullptr};
}
