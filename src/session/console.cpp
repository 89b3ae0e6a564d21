#include "session/console.hpp"

#include <cstdio>
#include <optional>
#include <unordered_set>
#include <utility>

#include "messages/print.hpp"
#include "session/responses.hpp"
#include "session/strict.hpp"

namespace {

std::unordered_set<std::string> asked;  // the keys a replay has answered

}  // namespace

std::string Ask(Msg message, const std::string& suffix) {
  hprintf(message);
  std::fputs(suffix.c_str(), stdout);
  std::string key = ResponseKey(message);
  if (ReplayingResponses()) {
    // A question asked again would get the same answer again.
    if (!asked.insert(key).second) RefusedResponse(key, "asked again (help, or a step back)");
    return ResponseFor(key);
  }
  std::optional<std::string> answer = ReadAnswerOrEnd();
  if (!answer) AnswersEnded(message);
  RecordResponse(key, *answer);
  return std::move(*answer);
}

std::string Bracketed(const std::string& value) { return " [" + value + "] "; }
