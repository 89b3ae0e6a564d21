// The built-in English message table.
#pragma once

struct EnglishRecord {
  int number;
  const char* text;
};

// In ascending order of number; consecutive records with one number are the
// lines of one message.
extern const EnglishRecord englishcache[];
extern const int englishcount;
