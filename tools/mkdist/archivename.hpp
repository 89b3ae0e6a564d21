// File names of the archives on a distribution.
#pragma once

#include <string>

// No compression: plain tar archives named after the table-of-contents form.
constexpr int kPlain = -1;

// The archive of `code`: plain, in the name form of the table of contents
// (0-5: ".tar", ".tar;1", ".tar-1", ".TAR", ".TAR;1", ".TAR-1" after the
// code), or gzip-compressed in form 0, 1 or 2 ("tar.z", "tar.Z", "TAR.Z").
std::string ArchiveName(const std::string& code, int name_form, int compression);
