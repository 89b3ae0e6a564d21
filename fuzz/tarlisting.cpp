// The parser of tar's verbose listing over arbitrary bytes, and over lines
// written the way tar writes them: a line of that form gives back exactly
// the member it was written from, whatever bytes its names hold.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "loading/archivemembers.hpp"
#include "support.hpp"

namespace {

// A name in tar's "c" quoting, written independently of the parser: the
// quote and the backslash escaped, other bytes outside printable ASCII as
// octal, some as their letter escapes.
std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (unsigned char c : name) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c >= 0x7f) {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The nine permission letters of `mode`, as tar shows them.
std::string Letters(mode_t mode) {
  std::string letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) {
    if ((mode & (0400u >> i)) == 0) letters[i] = '-';
  }
  const mode_t special[] = {S_ISUID, S_ISGID, S_ISVTX};
  const char lower[] = "sst";
  for (int who = 0; who < 3; ++who) {
    char& x = letters[who * 3 + 2];
    if ((mode & special[who]) != 0) x = x == 'x' ? lower[who] : static_cast<char>(lower[who] - 32);
  }
  return letters;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ArchiveMember any;
  ListedBlocks blocks;
  (void)ParseListingLine(bytes, any, blocks);
  // Lines one after another, as a listing: the reader never reads past its
  // end nor marks a member it did not read.
  MemberList members;
  ListingReader reader(members);
  for (const std::string& line : SplitLines(bytes)) {
    if (!reader.Read(line)) break;
  }
  if (size < 3) return 0;

  // The first bytes choose the type and mode; the rest, split at the first
  // NUL, is the name and the link target.
  static const char kTypes[] = "-dlhcbp";
  char type = kTypes[data[0] % 7];
  mode_t mode = static_cast<mode_t>(((data[1] << 8) | data[2]) & 07777);
  std::string_view rest = bytes.substr(3);
  size_t split = rest.find('\0');
  std::string_view name = rest.substr(0, split);
  std::string_view link = split == std::string_view::npos ? "" : rest.substr(split + 1);
  // The block and the size come from the mode bytes too; a device shows
  // its numbers instead of a size.
  uint64_t at = mode * 3u, bytes_of_data = static_cast<uint64_t>(data[1]) * 700;
  bool device = type == 'c' || type == 'b';
  std::string line = "block " + std::to_string(at) + ": " + type + Letters(mode) + " 0/0 " +
                     (device ? "8,1" : std::to_string(bytes_of_data)) + " 2026-12-07 15:03:44 " +
                     Quoted(name);
  if (type == 'l') line += " -> " + Quoted(link);
  if (type == 'h') line += " link to " + Quoted(link);

  ArchiveMember member;
  if (ParseListingLine(line, member, blocks) != ListingLine::kMember) {
    Finding("a line as tar writes it is not understood");
  }
  if (blocks.at != at || (!device && blocks.data != (bytes_of_data + 511) / 512)) {
    Finding("the block or the size read back differs");
  }
  if (member.name != name) Finding("the name read back differs");
  if (member.mode != mode) Finding("the mode read back differs");
  bool linked = type == 'l' || type == 'h';
  if (linked && member.link != link) Finding("the link target read back differs");
  ArchiveMember::Type expected = type == '-'   ? ArchiveMember::Type::kFile
                                 : type == 'd' ? ArchiveMember::Type::kDirectory
                                 : type == 'l' ? ArchiveMember::Type::kSymlink
                                 : type == 'h' ? ArchiveMember::Type::kHardlink
                                               : ArchiveMember::Type::kSpecial;
  if (member.type != expected) Finding("the type read back differs");
  // Held in a list among others, the member reads back the same.
  members.Add(member);
  MemberView held = members[members.size() - 1];
  if (held.name != member.name || held.link != member.link || held.type != member.type ||
      held.mode != member.mode) {
    Finding("the member held in a list reads back otherwise");
  }
  return 0;
}
