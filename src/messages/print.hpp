// The numbered message catalogue: the built-in English table or a
// translated catalogue file, and the two ways of printing a message.
#pragma once

#include <string>

// -1 before the first language choice, 0 while English is in use, 1 while a
// translated catalogue is in use.
extern int MessagesLoaded;
// Records in the active table.
extern int numrec;

// Chooses the message language for `locale`, searching `dir` (and on the
// first attempt the usual mount points) for a catalogue file. May rewrite
// `code` with the code mapped from the locale name.
void LoadMessages(std::string& code, const std::string& dir, const std::string& locale);

// Prints every line of the message followed by a line end, pausing with
// "More?" before every 24th line.
void nprintf(int number);

// Prints the message without line end, for prompts and for the text in
// front of a value.
void hprintf(int number);

// The "More?" pause of long listings and messages: prints message 22 and
// " [yes] " and reads the answer. True to go on: an empty answer, a yes word,
// or end of input (as when the operator presses Enter).
bool MoreWanted();

// Releases a loaded catalogue; no message prints afterwards.
void UnloadMessages();

// The code that LoadMessages() gives a locale name, or `code` unchanged.
std::string MapLocaleToCode(const std::string& locale, const std::string& code);
