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
  std::string name = {};  // as tar reads it, before it strips anything
  Type type = Type::kFile;
  std::string link = {};  // the target of a symbolic or hard link
  mode_t mode = 0;        // permission and set-ID bits
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

// One line of that listing; false when the line is not of its form (the
// whole listing then cannot be trusted).
bool ParseListingLine(std::string_view line, ArchiveMember& member);
