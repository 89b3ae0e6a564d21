#pragma once

#include <cstdio>
#include <string>

// Makes `target` a copy of `source`. A file that cannot be opened ends the
// run with status 1.
void CopyFile(const std::string& source, const std::string& target);

// Copies the bytes of `source` onto `target` as one file operation; shared
// by CopyFile and AppendFile, which differ only in how the target opens.
void CopyBytes(const std::string& source, const std::string& target, const char* target_mode);
