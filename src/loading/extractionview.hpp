// tar reads a member's data one of two ways: by the size its header gives
// (listing it, or extracting it where it cannot write it) or by what the
// member itself says (extracting a sparse file: by its map). Extracting to
// nowhere, with the block of every member it reads, tar shows the second
// way; its listing shows the first. Where the two find every member at the
// same block, extraction reads the archive as it was listed, whichever way
// it reads each member.
#pragma once

#include <string>
#include <vector>

#include "loading/archivemembers.hpp"

// tar's arguments (after the program) that extract the archive `archive` to
// standard output, saying on standard error the block and name of every
// member it reads.
std::vector<std::string> ExtractionViewArguments(const std::string& archive);

// Whether the extraction view (tar's standard error, in the file open as
// `view`) found each member it read at the block where the listing (the
// file open as `listing`) found one, and ended where the listing ended.
// tar counts a member's block, extracting, from after its first header.
// `members` are the listing's, one for each of its member lines: a member
// whose name has a ".." component is passed over without a line of the
// view.
bool ReadAlike(int listing, int view, const MemberList& members);
