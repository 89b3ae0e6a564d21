#include "session/console.hpp"

#include <cstdio>
#include <optional>
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
