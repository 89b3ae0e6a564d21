#include "operations/archivemembers.hpp"

#include <sys/stat.h>

#include <cstring>

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
    default:
      // Devices, FIFOs, and every type tar knows that a load never needs.
      return ArchiveMember::Type::kSpecial;
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

}  // namespace

std::vector<std::string> ListingArguments(const std::string& archive) {
  // Times in UTC: no time zone to look up for every member (a third of
  // the listing's time), and the time is not judged anyway.
  return {"--list", "--verbose",         "--numeric-owner", "--full-time",
          "--utc",  "--quoting-style=c", "--force-local",   "--file=" + archive};
}

const char* ArchiveOnStandardInput(bool seekable) { return seekable ? "/dev/fd/0" : "-"; }

bool ParseListingLine(std::string_view line, ArchiveMember& member) {
  // The mode column, then owner, size and time, none of which holds a
  // quote; the name is the first quoted string.
  size_t quote = line.find('"');
  if (line.size() < 10 || quote == std::string_view::npos || quote < 11) return false;
  member.type = TypeOf(line[0]);
  if (!ParseMode(line.substr(1, 9), member.mode)) return false;
  std::string_view rest = line.substr(quote);
  if (!Unquote(rest, member.name)) return false;
  member.link.clear();
  switch (member.type) {
    case ArchiveMember::Type::kSymlink:
      return TakePrefix(rest, " -> ") && Unquote(rest, member.link) && rest.empty();
    case ArchiveMember::Type::kHardlink:
      return TakePrefix(rest, " link to ") && Unquote(rest, member.link) && rest.empty();
    case ArchiveMember::Type::kSpecial:
      return true;  // refused whatever follows
    default:
      return rest.empty();
  }
}
