// One way to ask a question: the answer conventions ('?' help, '^' step
// back, the quit words, the default in brackets, end of input) applied the
// same way to every question, with what differs between questions as data.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "messages/messagenumber.hpp"

// How an answer is judged once the conventions are through with it.
enum class AnswerKind {
  kYesOrNo,  // a yes or no word; anything else is refused and asked again
  kText,     // handed back as typed (its acceptance may be checked, below)
};

// What '^' does at a question.
enum class OnStepBack {
  kBack,      // the question hands back a step back
  kAskAgain,  // no answer here, yet no refusal either: asked again
  kQuits,     // taken as a quit word
};

// What a quit word does at a question. The quit confirmation is asked first
// wherever a quit word counts; a confirmed quit ends the run as declined.
enum class OnQuitWord {
  kConfirmThenAskAgain,  // declined, the question is asked again
  kConfirmThenYes,       // declined, the answer counts as yes
  kConfirmThenJudge,     // declined, the word is judged as any other answer
  kJudge,                // no quit word here: judged as any other answer
};

// One question of the dialogue.
struct Question {
  Msg prompt;
  // Shown in brackets at the end of the prompt; an empty answer means it.
  std::string default_answer = {};
  AnswerKind kind = AnswerKind::kYesOrNo;
  // What '?' shows: a line end and this message; without one, '?' asks
  // again without a word.
  std::optional<Msg> help = std::nullopt;
  std::function<void()> after_help = nullptr;  // more help after the message
  bool line_after_help = false;
  OnStepBack step_back = OnStepBack::kBack;
  OnQuitWord quit_word = OnQuitWord::kConfirmThenAskAgain;
  // Runs before every prompt, the first and each repetition.
  std::function<void()> before_prompt = nullptr;
  // For a text answer (the default taken for an empty one): false asks
  // again; it has said why, and refused the answer in a strict run.
  std::function<bool(const std::string&)> accept = nullptr;
};

// What a question got.
enum class Reply { kYes, kNo, kBack, kText };
struct Answer {
  Reply reply;
  std::string text;  // for kText: the answer, or the default for an empty one
};

// Asks `question` until it gets an answer it hands back. End of input ends
// the run (session/console); so does a confirmed quit.
Answer AskQuestion(const Question& question);

// The quit confirmation: true to quit, false to go on.
bool Quit2();
