// The reader of the operator's answers under every question (the
// conventions every question shares are in session/question.hpp, the answer
// words in common/answerwords.hpp).
#pragma once

#include <string>

#include "common/answerline.hpp"
#include "common/answerwords.hpp"
#include "messages/messagenumber.hpp"

// Prints message `message` as a prompt, then `suffix` (" [yes] " and the
// like), and reads the answer. End of input ends the run with status 1 (the
// operator never confirmed anything), in a strict run as a refusal.
std::string Ask(Msg message, const std::string& suffix);

// " [value] ": the default answer in brackets that ends a prompt.
std::string Bracketed(const std::string& value);
