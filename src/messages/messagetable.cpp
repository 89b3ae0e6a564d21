#include "messages/messagetable.hpp"

#include <utility>

#include "messages/english.hpp"

CatalogueState MessagesLoaded = CatalogueState::kNotChosen;
int numrec = 0;

namespace {

// The loaded catalogue; it grows with the file, there is no fixed room.
std::vector<CatalogueRecord> messagecache;
bool silenced = false;

}  // namespace

void UseEnglish() {
  messagecache.clear();
  silenced = false;
  MessagesLoaded = CatalogueState::kEnglish;
  numrec = englishcount;
}

void UseCatalogue(std::vector<CatalogueRecord> records) {
  messagecache = std::move(records);
  numrec = static_cast<int>(messagecache.size());
  MessagesLoaded = CatalogueState::kTranslated;
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
    if (MessagesLoaded != CatalogueState::kEnglish) {
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
