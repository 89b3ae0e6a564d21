#include "messages/print.hpp"

#include <cstdio>
#include <optional>

#include "common/answerline.hpp"
#include "common/answerwords.hpp"
#include "common/visibletext.hpp"
#include "messages/messagetable.hpp"

void nprintf(int number) {
  int count = 0;
  ForEachLine(number, [&](const char* text) {
    if (count == 23) {
      if (!MoreWanted()) return false;
      count = 0;
    }
    PutVisible(text);
    std::fputs("\n", stdout);
    ++count;
    return true;
  });
}

void hprintf(int number) {
  ForEachLine(number, [](const char* text) {
    PutVisible(text);
    return true;
  });
}

bool MoreWanted() {
  hprintf(22);
  std::fputs(" [yes] ", stdout);
  std::optional<std::string> answer = ReadAnswerOrEnd();
  return !answer || answer->empty() || IsYes(*answer);
}
