// The questions of the dialogue: one reader of the operator's answers and
// the conventions every question shares (the answer words are in
// common/answerwords.hpp).
#pragma once

#include <string>

#include "common/answerline.hpp"
#include "common/answerwords.hpp"
#include "messages/messagenumber.hpp"

// Prints message `message` as a prompt, then `suffix` (" [yes] " and the
// like), and reads the answer. End of input ends the run with status 1 (the
// operator never confirmed anything), in a strict run as a refusal.
std::string Ask(Msg message, const std::string& suffix);

// The answer the last question got, as read.
const std::string& LastAnswer();

// " [value] ": the default answer in brackets that ends a prompt.
std::string Bracketed(const std::string& value);

// The quit confirmation: true to quit, false to go on.
bool Quit2();

// A quit word confirmed ends the run as declined (status 0, strict 3); returns true when the
// answer was a quit word that the operator then declined.
bool QuitDeclined(const std::string& answer);
