// Removal of exactly what a load wrote, by its record (FILE.list and
// FILE.sums beside the receipt FILE, see LoadRecord): of the recorded
// entries at or below the chosen lines, a file whose content is still the
// one recorded and a link that still leads where it did are removed, then
// the directories that are empty. A file changed since loading, and what the
// load did not write, are kept and listed, and so are the directories that
// hold them.
#pragma once

#include <string>

#include "operations/installtarget.hpp"
#include "operations/listfiles.hpp"

// Removes what the record at `record` (FILE: FILE.list and FILE.sums) holds
// below the chosen lines of `pak` (never those of required packages) from
// the installation directory `target`. Deleted entries are reported only
// for ListFiles::kYes; kept ones always:
//   "  Kept (changed since loading): PATH", "  Kept (not loaded): PATH".
// True when something was kept. A record that another user could have
// changed, or that cannot be read, ends the run (status 1).
//
// Whether the record at `record` is whole: its load ended well. Without
// that, what the last batch unpacked is not in it, and removal goes by the
// receipt's lines.
bool RecordIsWhole(const std::string& record);

// `dry_run`: nothing is removed; every entry that would be is listed, and
// what would be kept is named as it would be.
bool RemoveRecorded(const std::string& pak, const std::string& record, ListFiles list_files,
                    const InstallTarget& target, bool dry_run = false);
