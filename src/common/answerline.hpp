// Reading one answer line from standard input: the primitive under every
// question and every "More?" pause.
#pragma once

#include <optional>
#include <string>

// Flushes standard output, reads one whole line from standard input and
// strips its line end (the answer ends at a NUL byte too). Empty optional at
// end of input. Standard output that cannot be written ends the run.
std::optional<std::string> ReadAnswerOrEnd();

// From now on every line read is also appended to `path` as it was read,
// one a line (the file is made with mode 0600), so that the answers can be
// given again from it. Only a regular file is taken, never through a final
// symbolic link, and opening never waits. False when it cannot be opened
// (errno set) or is no regular file (errno 0).
bool RecordAnswersIn(const std::string& path);
