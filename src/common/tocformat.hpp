// The column layout of a table-of-contents line, and the writing of lines in
// it. The line view of the installer reads these columns; the tool that
// makes media and the tests write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where each field of a line begins (column 0 is the first character) and
// how wide it is. A header line holds only its heading, from column 3.
namespace toc_columns {
constexpr size_t kCategory = 0, kCategoryWidth = 2;
constexpr size_t kEntryType = 3;  // 'D', 'F'; '*' on a category title line
constexpr size_t kHeading = 3;
constexpr size_t kPackageClass = 5;  // 'O', 'R', '*'; 'A' or 'N' on a title line
constexpr size_t kDescription = 7, kDescriptionWidth = 54;
constexpr size_t kArchive = 65, kArchiveWidth = 2;
constexpr size_t kSize = 68, kSizeWidth = 12;
constexpr size_t kEntryPath = 80;
// Columns 5-60 decide whether two lines of a category belong together.
constexpr size_t kDuplicateKey = 5, kDuplicateKeyWidth = 56;
}  // namespace toc_columns

// The categories have two-digit codes: 01 to 99.
constexpr int kLastCategory = 99;

// The largest size that fits the 12 columns of the size field.
constexpr uint64_t kMaxEntrySize = 999'999'999'999ULL;

// The two-character category code of a category number ("%02d").
std::string CategoryCode(int category);

// The first line: three blanks, then the heading.
std::string TocHeader(const std::string& heading);

// A category title line: '*' in column 3, 'A' (all) or 'N' (none) in
// column 5, the title from column 7.
std::string TocTitle(int category, bool default_all, const std::string& title);

// A package line for one entry: type 'D' or 'F', class 'O', 'R' or '*', the
// description cut or padded to its 54 columns, the archive code, the size
// right-aligned in its 12 columns, then the entry path.
std::string TocEntry(int category, char type, char package_class, const std::string& description,
                     const std::string& archive_code, uint64_t size, const std::string& path);
