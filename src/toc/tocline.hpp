// A view of one line of the table of contents (or of a working file in the
// same format) that gives each fixed-column field by name. No other code of
// the installer indexes columns.
#pragma once

#include <string>
#include <string_view>

#include "common/tocformat.hpp"

class TocLine {
 public:
  // `line` without its line end; it must outlive the view. A carriage
  // return at its end belongs to the line end of a file written on another
  // system and is not part of any field.
  explicit TocLine(std::string_view line)
      : line_(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line) {}

  std::string_view CategoryCode() const {
    return Field(toc_columns::kCategory, toc_columns::kCategoryWidth);
  }
  bool HasCategory(std::string_view code) const { return CategoryCode() == code; }
  char EntryType() const { return At(toc_columns::kEntryType); }
  char PackageClass() const { return At(toc_columns::kPackageClass); }
  // A category title line carries '*' in column 3.
  bool IsTitle() const { return At(toc_columns::kEntryType) == '*'; }
  bool IsRequired() const { return PackageClass() == 'R'; }
  bool IsOptional() const { return PackageClass() == 'O'; }
  bool IsContinuation() const { return PackageClass() == '*'; }
  // The default answer of a title line: 'A' in column 5 means "all".
  bool DefaultsToAll() const { return PackageClass() == 'A'; }
  // Columns 7-60, fewer when the line is shorter.
  std::string_view Description() const {
    return Field(toc_columns::kDescription, toc_columns::kDescriptionWidth);
  }
  // Everything from column 7: the category title of a title line, or the
  // text a package line is searched in for that title.
  std::string_view Text() const { return Field(toc_columns::kDescription, std::string_view::npos); }
  // Whether the text of a package line holds `title`, the text of its
  // category's title line: the listings then show no heading of its own.
  bool MentionsTitle(std::string_view title) const {
    return Text().find(title) != std::string_view::npos;
  }
  // The heading of the header line: everything from column 3.
  std::string_view Heading() const { return Field(toc_columns::kHeading, std::string_view::npos); }
  std::string_view ArchiveCode() const {
    return Field(toc_columns::kArchive, toc_columns::kArchiveWidth);
  }
  // The size field, columns 68-79, read as a decimal number after optional
  // blanks; 0 without a number.
  long long Size() const;
  // Everything from column 80.
  std::string_view EntryPath() const {
    return Field(toc_columns::kEntryPath, std::string_view::npos);
  }
  // The entry path cut at its first blank, tab or NUL byte.
  std::string_view EntryWord() const;
  // Columns 5-60 decide whether two lines of a category belong together.
  std::string_view DuplicateKey() const {
    return Field(toc_columns::kDuplicateKey, toc_columns::kDuplicateKeyWidth);
  }
  bool IsDuplicateOf(const TocLine& reference) const {
    return DuplicateKey() == reference.DuplicateKey();
  }

  // Writes the package class into column 5 of a line, if it has one.
  static void SetPackageClass(std::string& line, char package_class);

 private:
  char At(size_t column) const { return column < line_.size() ? line_[column] : '\0'; }
  std::string_view Field(size_t from, size_t length) const {
    return from < line_.size() ? line_.substr(from, length) : std::string_view();
  }

  std::string_view line_;
};
