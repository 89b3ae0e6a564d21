// What the operator asked the run to do, and the messages whose wording
// depends on it.
#pragma once

enum class Mode { kNone, kLoad, kVerify, kRemove };

// The message numbers of the questions and listings that are worded for
// each mode. 0 where the mode has no such message.
struct ModeWording {
  int directory_help;       // help at the installation-directory question
  int selection_heading;    // heads the selection summary
  int list_files_question;  // verification asks none
  int list_files_help;
  int package_question;  // the question of each category
  int package_help;
  int product_help;  // the product menu
  int product_question;
};

// The wording of `mode`; kNone has none (every number 0).
const ModeWording& WordingOf(Mode mode);
