// Strict answers (ZULSTRICT): a run whose answers come from a script ends
// where an operator would be asked the same question again, with one line
// on standard error naming the question, and its exit status tells a script
// how it ended. Without it, a run prints and ends exactly as it always did.
#pragma once

#include <string_view>

#include "messages/messagenumber.hpp"

// Whether this run's answers are strict (ZULSTRICT set to anything but the
// empty text or "0"): said once at start-up, from the run's settings.
void UseStrictAnswers(bool strict);
bool StrictAnswers();

// The statuses of a strict run; a failure (a file that cannot be opened, a
// failed load) is 1 in every run, and a signal ends it by that signal.
constexpr int kStatusFailed = 1;    // the operation failed (also every fatal error)
constexpr int kStatusRefused = 2;   // an answer refused, or the answers ended
constexpr int kStatusDeclined = 3;  // the operator quit or declined
constexpr int kStatusMismatch = 4;  // verification found entries missing or different

// How a run that came through the dialogue ends, other than by a failure.
enum class Ending {
  kFinished,  // the operation ran to its end and found nothing amiss
  kDeclined,  // a quit confirmed, a load or a restart declined
  kMismatch,  // verification reported missing or different entries
  kFailed,    // the operation's program could not be started
};

// Ends the run through the exit routine: status 0 without ZULSTRICT, and the
// status of the ending with it.
[[noreturn]] void EndRun(Ending ending);

// Where question `question` (a message number) would refuse `answer` and be
// asked again. In a strict run this writes
//   install: refused at "QUESTION": ANSWER: REASON
// on standard error and ends the run with status 2; otherwise it returns and
// the question is asked again.
void Refuse(Msg question, std::string_view answer, std::string_view reason);

// The reason a refusal gives for the message `message` the dialogue printed:
// its English text up to where it names what it is about ("You do not have
// write access to:" gives "You do not have write access"), so that a
// script reads the same words in any language.
std::string ReasonOf(Msg message);

// Standard input ended at question `question`: status 1, or in a strict run
// a line naming the question and status 2.
[[noreturn]] void AnswersEnded(Msg question);
