#include "session/strict.hpp"

#include <cstdio>
#include <string>

#include "common/exitrequest.hpp"
#include "common/visibletext.hpp"
#include "messages/english.hpp"
#include "session/responses.hpp"

namespace {

// A question as the refusal line names it: its English text without the
// colon that leads to the default.
std::string QuestionName(Msg question) {
  std::string text = EnglishText(question);
  while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
  return text;
}

// The one line on standard error that ends a strict run at a question. What
// the dialogue printed so far reaches standard output first.
[[noreturn]] void RefuseAt(Msg question, std::string_view what) {
  if (ReplayingResponses()) RefusedResponse(ResponseKey(question), what);
  std::fflush(stdout);
  std::string line = "install: refused at \"" + Visible(QuestionName(question)) + "\": ";
  line += Visible(what);
  line += '\n';
  std::fputs(line.c_str(), stderr);
  exite(kStatusRefused);
}

}  // namespace

namespace {
bool strict_answers = false;
}  // namespace

void UseStrictAnswers(bool strict) { strict_answers = strict; }

bool StrictAnswers() { return strict_answers; }

void EndRun(Ending ending) {
  if (!StrictAnswers()) exite(0);
  switch (ending) {
    case Ending::kDeclined:
      exite(kStatusDeclined);
    case Ending::kMismatch:
      exite(kStatusMismatch);
    case Ending::kFailed:
      exite(kStatusFailed);
    case Ending::kFinished:
      break;
  }
  exite(0);
}

std::string ReasonOf(Msg message) {
  std::string text = EnglishText(message);
  if (text.ends_with(':')) text.pop_back();
  for (std::string_view lead : {" to", " mounted on"}) {
    if (text.ends_with(lead)) text.resize(text.size() - lead.size());
  }
  return text;
}

void Refuse(Msg question, std::string_view answer, std::string_view reason) {
  if (!StrictAnswers()) return;
  std::string what(answer);
  what += ": ";
  what += reason;
  RefuseAt(question, what);
}

void AnswersEnded(Msg question) {
  if (!StrictAnswers()) exite(1);
  RefuseAt(question, "the answers ended here");
}
