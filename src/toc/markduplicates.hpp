// Marking the lines that continue the package of the line before them.
#pragma once

#include <string>

// Marks every line among the first `count` of `file` whose columns 5-60
// equal those of the nearest earlier line that is not itself marked, by
// writing '*' into its column 5. The result lands in `result` (MOD): marked
// in place when `file` is `result`, else through `scratch` (TMP), which is
// left behind.
void MarkDuplicates(const std::string& file, int count, const std::string& result,
                    const std::string& scratch);
