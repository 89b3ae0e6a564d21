// The names of the files on a distribution medium, written once for the
// installer that reads media and the tool that makes them.
#pragma once

#include <string>
#include <string_view>

// Every file of a medium is looked for in six name forms, in this order:
// NAME.ext, NAME.ext;1, NAME.ext-1, NAME.EXT, NAME.EXT;1, NAME.EXT-1.
constexpr int kNameForms = 6;

// `stem`, a dot and `extension` in name form `form` (0 to 5): the extension
// in capitals from form 3 on, then ";1" or "-1" after forms 1, 2, 4 and 5.
// The stem is the caller's to write in capitals where it has letters.
std::string InNameForm(std::string_view stem, std::string_view extension, int form);

// The six names of the table-of-contents file (InNameForm("01", "toc", i)),
// in search order; the position of the name found is the table-of-contents
// variant index.
extern const char* const kTocNames[kNameForms];

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
// contents variant `variant` (InNameForm(code, "tar", variant)), or
// compressed in form `compression` 0, 1 or 2 ("tar.z", "tar.Z", "TAR.Z"
// after the code).
std::string ArchiveName(std::string_view code, int variant, int compression);
