// A list of SHA-256 checksums in the form sha256sum writes and
// `sha256sum -c` reads: "HEX  NAME" (or "HEX *NAME"), one file a line, each
// name relative to the list's own directory.
#pragma once

#include <map>
#include <string>
#include <string_view>

// The checksum of each name, in lowercase hex.
using ChecksumList = std::map<std::string, std::string, std::less<>>;

// Reads the list in `text` into `list`, passing over comments (lines that
// begin with "#", as sha256sum does). Empty when every other line is one;
// otherwise "line N: " and why: a checksum that is not 64 hex digits, no
// name, a name that is absolute, climbs ("..") or is written escaped (unless
// `escapes` allows sha256sum's escapes of a backslash, a line end and a
// carriage return), or a name given twice.
std::string ReadChecksumList(std::string_view text, ChecksumList& list, bool escapes = false);

// Reads one line of a list into `hex` and `name`: empty when it is one,
// else why not.
std::string ReadChecksumLine(std::string_view line, bool escapes, std::string& hex,
                             std::string& name);

// One line of a list, as sha256sum writes it: a name with a backslash or a
// line end escaped, after a leading backslash.
std::string ChecksumLine(std::string_view hex, std::string_view name);
// The same, appended to `out`.
void AppendChecksumLine(std::string& out, std::string_view hex, std::string_view name);

// The text of `list`, one line a name, in the order of the names.
std::string ChecksumListText(const ChecksumList& list);
