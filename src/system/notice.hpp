// One line on standard error beside the dialogue: the progress line hidden
// and standard output flushed first, so that the line comes after what the
// dialogue printed and never through the progress line; the name it is
// about shown in caret notation, as all text from a medium or an operator.
#pragma once

#include <string_view>

// Writes `before`, the name, `after` and a line end.
void Notice(std::string_view before, std::string_view name, std::string_view after);

// The perror form: "NAME: the system's text for `error`".
void NoticeError(std::string_view name, int error);

// Copies what a child wrote into the file open as `said` (from its start) to
// standard error, the progress line hidden and standard output flushed
// first: what a child said while running beside others, shown in its turn.
void ReplaySaid(int said);
