#include "session/console.hpp"

#include <cstdio>
#include <utility>

#include "messages/print.hpp"
#include "session/strict.hpp"

namespace {

std::string last_answer;

}  // namespace

std::string Ask(Msg message, const std::string& suffix) {
  hprintf(message);
  std::fputs(suffix.c_str(), stdout);
  std::optional<std::string> answer = ReadAnswerOrEnd();
  if (!answer) AnswersEnded(message);
  last_answer = std::move(*answer);
  return last_answer;
}

const std::string& LastAnswer() { return last_answer; }

std::string Bracketed(const std::string& value) { return " [" + value + "] "; }

bool Quit2() {
  for (;;) {
    std::string answer = Ask(Msg::kQuitQuestion, " [yes] ");
    if (answer.empty() || IsYes(answer)) return true;
    if (IsNo(answer) || answer == "^") return false;
    if (answer == "?") {
      std::fputs("\n", stdout);
      nprintf(Msg::kQuitHelp);
      std::fputs("\n", stdout);
    } else {
      Refuse(Msg::kQuitQuestion, answer, "not yes or no");
    }
  }
}

bool QuitDeclined(const std::string& answer) {
  if (!Quit(answer)) return false;
  if (Quit2()) EndRun(Ending::kDeclined);
  return true;
}
