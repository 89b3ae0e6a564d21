#include "session/question.hpp"

#include <cstdio>

#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/strict.hpp"

namespace {

void ShowHelp(const Question& question) {
  std::fputs("\n", stdout);
  nprintf(*question.help);
  if (question.after_help) question.after_help();
  if (question.line_after_help) std::fputs("\n", stdout);
}

}  // namespace

Answer AskQuestion(const Question& question) {
  for (;;) {
    if (question.before_prompt) question.before_prompt();
    std::string answer = Ask(question.prompt, Bracketed(question.default_answer));
    bool quit_word = question.quit_word != OnQuitWord::kJudge && Quit(answer);
    if (answer == "^") {
      if (question.step_back == OnStepBack::kBack) return {Reply::kBack, {}};
      if (question.step_back == OnStepBack::kAskAgain) continue;
      quit_word = true;
    }
    if (quit_word) {
      if (Quit2()) EndRun(Ending::kDeclined);
      OnQuitWord rule = answer == "^" ? OnQuitWord::kConfirmThenAskAgain : question.quit_word;
      if (rule == OnQuitWord::kConfirmThenYes) return {Reply::kYes, {}};
      if (rule == OnQuitWord::kConfirmThenAskAgain) continue;
      // Otherwise the word is judged as any other answer.
    }
    if (answer == "?") {
      if (question.help) ShowHelp(question);
      continue;
    }
    if (answer.empty()) answer = question.default_answer;
    if (question.kind == AnswerKind::kText) {
      if (question.accept && !question.accept(answer)) continue;
      return {Reply::kText, answer};
    }
    if (IsYes(answer)) return {Reply::kYes, {}};
    if (IsNo(answer)) return {Reply::kNo, {}};
    Refuse(question.prompt, answer, "not yes or no");
  }
}

bool Quit2() {
  Question quit{.prompt = Msg::kQuitQuestion,
                .default_answer = "yes",
                .help = Msg::kQuitHelp,
                .line_after_help = true,
                .quit_word = OnQuitWord::kJudge};
  return AskQuestion(quit).reply == Reply::kYes;
}
