// The two ways of printing a numbered message of the active table (see
// messagetable.hpp), and the "More?" pause of long listings.
#pragma once

#include <string>

#include "messages/messagenumber.hpp"
#include "messages/messagetable.hpp"

// Prints every line of the message followed by a line end, pausing with
// "More?" before every 24th line.
void nprintf(Msg number);

// Prints the message without line end, for prompts and for the text in
// front of a value.
void hprintf(Msg number);

// The "More?" pause of long listings and messages: prints message 22 and
// " [yes] " and reads the answer. True to go on: an empty answer, a yes word,
// or end of input (as when the operator presses Enter).
bool MoreWanted();
