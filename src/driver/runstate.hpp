// What one run knows between the questions.
#pragma once

#include <string>

#include "common/settings.hpp"
#include "operations/listfiles.hpp"
#include "operations/mediumtrust.hpp"
#include "operations/receipt.hpp"
#include "session/mode.hpp"

struct RunState {
  Mode mode = Mode::kNone;
  std::string program_dir;
  std::string language_code;  // LoadMessages may rewrite it
  std::string locale_name;
  std::string default_mount = "/mnt/cdrom";
  std::string start_dir;
  std::string toc_path;  // relative name in the distribution, or absolute
  bool toc_from_command_line = false;
  int variant = 0;  // position of the table-of-contents name form
  std::string dist_dir;
  std::string install_dir;
  // The installation directory, held from the moment it is accepted: every
  // later use enters it through this descriptor, never by its path again.
  int install_fd = -1;
  ListFiles list_files = ListFiles::kNotAsked;
  ReceiptPlace receipt;  // ZULRECEIPT; empty when none is asked for
  Settings settings;     // the environment's, read once at start-up
  MediumSums medium;     // the medium's checksums, once its top is known
};
