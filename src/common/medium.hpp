// The names of the files on a distribution medium, written once for the
// installer that reads media and the tool that makes them.
#pragma once

#include <string>
#include <string_view>

// The six names of the table-of-contents file, in search order; the position
// of the name found is the table-of-contents variant index.
extern const char* const kTocNames[6];

// The variant index of a file name that is one of the six names, else 0.
int TocVariantOf(const std::string& file_name);

// Archives are plain (named like the table of contents) or compressed in
// one of three name forms.
constexpr int kPlain = -1;
constexpr int kCompressionForms = 3;

// The archive code whose compressed archive tells the compression form of a
// medium.
constexpr std::string_view kProbeArchiveCode = "02";

// The file name of the archive of `code`: plain in the name form of table-of-
// contents variant `variant` (".tar", ".tar;1", ".tar-1", ".TAR", ".TAR;1",
// ".TAR-1" after the code), or compressed in form `compression` 0, 1 or 2
// ("tar.z", "tar.Z", "TAR.Z" after the code).
std::string ArchiveName(std::string_view code, int variant, int compression);
