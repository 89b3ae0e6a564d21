// The built-in English message table.
#pragma once

#include <string>

#include "messages/messagenumber.hpp"

struct EnglishRecord {
  int number;
  const char* text;
};

// In ascending order of number; consecutive records with one number are the
// lines of one message.
extern const EnglishRecord englishcache[];
extern const int englishcount;

// The built-in English text of message `number`, its lines joined by a
// blank; empty when there is no such message. For lines on standard error
// that name a question the same way whatever catalogue is in use.
std::string EnglishText(Msg number);
