// The title line of a category, looked up in the table of contents.
#pragma once

#include <optional>
#include <string>

// The category title line of category code `code` in the table of contents
// (the first line with that code and '*' in column 3), without its line end;
// nothing when the file has none. A file that cannot be opened ends the run.
std::optional<std::string> FindCategoryTitle(const std::string& toc, const std::string& code);
