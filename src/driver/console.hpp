// The one reader of the operator's answers and the answer conventions that
// every question shares.
#pragma once

#include <optional>
#include <string>

// Flushes standard output, reads one whole line from standard input and
// strips its line end. Empty optional at end of input.
std::optional<std::string> ReadAnswerOrEnd();

// As ReadAnswerOrEnd(), but end of input ends the run with status 1: the
// operator never confirmed anything.
std::string ReadAnswer();

// Prints message `message` as a prompt, then `suffix` (" [yes] " and the
// like), and reads the answer.
std::string Ask(int message, const std::string& suffix);

// The "More?" pause of long listings and messages: prints message 22 and
// " [yes] " and reads the answer. True to go on: an empty answer, a yes word,
// or end of input (as when the operator presses Enter).
bool MoreWanted();

// Equality of an answer with a word, letter case ignored, nothing trimmed;
// 0 when equal, otherwise the sign of the first difference.
int strcmpe(const std::string& a, const std::string& b);

bool IsYes(const std::string& answer);  // "y", "ye", "yes"
bool IsNo(const std::string& answer);   // "n", "no"

// 1 when the answer is a quit word ("q", "qu", "qui", "quit").
int Quit(const std::string& answer);

// The quit confirmation: 1 means quit, 0 means go on.
int Quit2();

// A quit word confirmed ends the run with status 0; returns true when the
// answer was a quit word that the operator then declined.
bool QuitDeclined(const std::string& answer);
