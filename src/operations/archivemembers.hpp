// The members of a tar archive as tar itself reads them: taken from tar's own
// verbose listing of the very bytes it then extracts, so that what the
// installer judges is what tar makes, never a second reading of the archive.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

struct ArchiveMember {
  enum class Type { kFile, kDirectory, kSymlink, kHardlink, kSpecial };
  std::string name;  // as tar reads it, before it strips anything
  Type type = Type::kFile;
  std::string link;  // the target of a symbolic or hard link
  mode_t mode = 0;   // permission and set-ID bits
};

// tar's arguments (after the program) that list the archive on its
// standard input, one member a line, every name and link target quoted so
// that no byte of it can be mistaken for the line's own punctuation.
std::vector<std::string> ListingArguments();

// The environment of the listing: tar's own words (" link to ") are the
// untranslated ones, and its quoting does not depend on the locale.
std::vector<std::string> ListingEnvironment();

// One line of that listing; false when the line is not of its form (the
// whole listing then cannot be trusted).
bool ParseListingLine(std::string_view line, ArchiveMember& member);
