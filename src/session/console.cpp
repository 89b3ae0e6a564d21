#include "session/console.hpp"

#include <cstdio>

#include "common/exitrequest.hpp"
#include "messages/print.hpp"

std::string ReadAnswer() {
  std::optional<std::string> answer = ReadAnswerOrEnd();
  if (!answer) exite(1);
  return *answer;
}

std::string Ask(int message, const std::string& suffix) {
  hprintf(message);
  std::fputs(suffix.c_str(), stdout);
  return ReadAnswer();
}

std::string Bracketed(const std::string& value) { return " [" + value + "] "; }

int Quit2() {
  for (;;) {
    std::string answer = Ask(39, " [yes] ");
    if (answer.empty() || IsYes(answer)) return 1;
    if (IsNo(answer) || answer == "^") return 0;
    if (answer == "?") {
      std::fputs("\n", stdout);
      nprintf(40);
      std::fputs("\n", stdout);
    }
  }
}

bool QuitDeclined(const std::string& answer) {
  if (!Quit(answer)) return false;
  if (Quit2()) exite(0);
  return true;
}
