#include "messages/messagetable.hpp"

#include <utility>

#include "messages/english.hpp"

int numrec = 0;

namespace {

CatalogueState in_use = CatalogueState::kNotChosen;

// The loaded catalogue; it grows with the file, there is no fixed room.
std::vector<CatalogueRecord> messagecache;
bool silenced = false;

}  // namespace

CatalogueState MessagesInUse() { return in_use; }

void ForgetMessageChoice() { in_use = CatalogueState::kNotChosen; }

void UseEnglish() {
  messagecache.clear();
  silenced = false;
  in_use = CatalogueState::kEnglish;
  numrec = englishcount;
}

void UseCatalogue(std::vector<CatalogueRecord> records) {
  messagecache = std::move(records);
  numrec = static_cast<int>(messagecache.size());
  in_use = CatalogueState::kTranslated;
  silenced = false;
}

void SilenceMessages() {
  messagecache.clear();
  messagecache.shrink_to_fit();
  silenced = true;
}

// The scan stops at the first record with a larger number.
void ForEachLine(int number, const std::function<bool(const char*)>& line) {
  if (silenced) return;
  for (int i = 0; i < numrec; ++i) {
    int n;
    const char* text;
    if (MessagesInUse() != CatalogueState::kEnglish) {
      if (i >= static_cast<int>(messagecache.size())) return;
      n = messagecache[i].number;
      text = messagecache[i].text.c_str();
    } else {
      if (i >= englishcount) return;
      n = englishcache[i].number;
      text = englishcache[i].text;
    }
    if (n > number) return;
    if (n == number && !line(text)) return;
  }
}
