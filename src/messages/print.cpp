#include "messages/print.hpp"

#include <cstdio>
#include <optional>

#include "common/answerline.hpp"
#include "common/answerwords.hpp"
#include "common/visibletext.hpp"
#include "messages/messagetable.hpp"

void nprintf(Msg number) {
  int count = 0;
  ForEachLine(static_cast<int>(number), [&](const char* text) {
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

void hprintf(Msg number) {
  ForEachLine(static_cast<int>(number), [](const char* text) {
    PutVisible(text);
    return true;
  });
}

bool MoreWanted() {
  hprintf(Msg::kMore);
  std::fputs(" [yes] ", stdout);
  std::optional<std::string> answer = ReadAnswerOrEnd();
  return !answer || answer->empty() || IsYes(*answer);
}
