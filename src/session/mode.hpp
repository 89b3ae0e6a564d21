// What the operator asked the run to do, and the messages whose wording
// depends on it.
#pragma once

#include "messages/messagenumber.hpp"

enum class Mode { kNone, kLoad, kVerify, kRemove };

// The messages of the questions and listings that are worded for each
// mode; Msg::kNone where the mode has no such message.
struct ModeWording {
  Msg directory_help;       // help at the installation-directory question
  Msg selection_heading;    // heads the selection summary
  Msg list_files_question;  // verification asks none
  Msg list_files_help;
  Msg package_question;  // the question of each category
  Msg package_help;
  Msg product_help;  // the product menu
  Msg product_question;
};

// The wording of `mode`; kNone has none (every number 0).
const ModeWording& WordingOf(Mode mode);
