// The active message table: the built-in English one or the records of a
// translated catalogue. Loading fills it; printing reads it.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Which table is in use; the values are those of the catalogue state as a
// number.
enum class CatalogueState {
  kNotChosen = -1,  // before the first language choice
  kEnglish = 0,     // the built-in English table
  kTranslated = 1,  // a translated catalogue
};
CatalogueState MessagesInUse();
// Back to before the first language choice (a run starts there).
void ForgetMessageChoice();
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
