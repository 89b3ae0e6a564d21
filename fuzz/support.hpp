// What the fuzz targets share: a private TMPDIR, a quiet standard output,
// prepared standard input, and files written from the input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Makes a private directory, sets TMPDIR to it and removes it at exit.
// Returns its path.
const std::string& FuzzDirectory();

// Sends standard output to /dev/null: the units print their dialogue.
void QuietStandardOutput();

// The next reads of standard input get `text`, then end of input.
void FeedStandardInput(std::string_view text);

// The built-in English messages, active again (the exit routine releases
// them).
void UseEnglishMessages();

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// The lines of `bytes` as the line readers give them: split at line ends,
// a last line without line end included.
std::vector<std::string> SplitLines(std::string_view bytes);

// The lines of a file.
std::vector<std::string> ReadLines(const std::string& path);

// The part of `rest` before its first NUL byte (all of it when there is
// none); `rest` keeps what follows that byte.
std::string_view NextPart(std::string_view& rest);

// Ends the run as a finding, with `what` on standard error.
[[noreturn]] void Finding(const char* what);
