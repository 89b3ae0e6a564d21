// The active message table: the built-in English one or the records of a
// translated catalogue. Loading fills it; printing reads it.
#pragma once

#include <functional>
#include <string>
#include <vector>

// -1 before the first language choice, 0 while English is in use, 1 while a
// translated catalogue is in use.
extern int MessagesLoaded;
// Records in the active table.
extern int numrec;

// One line of a translated catalogue: the message it belongs to and its text.
struct CatalogueRecord {
  int number;
  std::string text;
};

// Makes the built-in English table the active one.
void UseEnglish();

// Makes `records` (in the order of their numbers) the active table.
void UseCatalogue(std::vector<CatalogueRecord> records);

// Releases a translated table; no message prints until a table is used
// again.
void SilenceMessages();

// Calls `line` with every line of message `number` of the active table, in
// order, until it returns false.
void ForEachLine(int number, const std::function<bool(const char*)>& line);
