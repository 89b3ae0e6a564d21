// Choosing the message language: the message catalogue file for a locale,
// searched beside the program, in the current directory, on the usual mount
// points and later on the distribution, read into the active table.
#pragma once

#include <functional>
#include <string>

// What a caller checks of a catalogue file found, open as `fd` under
// `path`, before it is read (it ends the run when the file may not be used).
using CatalogueCheck = std::function<void(const std::string& path, int fd)>;

// Chooses the message language for `locale`, searching `dir` (and on the
// first attempt the usual mount points) for a catalogue file, which `check`
// (when given) looks at first. May rewrite `code` with the code mapped from
// the locale name.
void LoadMessages(std::string& code, const std::string& dir, const std::string& locale,
                  const CatalogueCheck& check = nullptr);

// The path of the catalogue in use; empty while the messages are English.
const std::string& LoadedCataloguePath();

// Releases a loaded catalogue; no message prints afterwards.
void UnloadMessages();

// The code that LoadMessages() gives a locale name, or `code` unchanged.
std::string MapLocaleToCode(const std::string& locale, const std::string& code);
