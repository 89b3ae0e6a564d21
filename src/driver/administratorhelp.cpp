#include "driver/administratorhelp.hpp"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr char kAdministratorHelp[] =
    "Options:\n"
    "  -load [TOC]    load packages; TOC: a table of contents to use instead of the medium's\n"
    "  -verify [TOC]  list what is missing; TOC may be a receipt (ZULRECEIPT)\n"
    "  -remove [TOC]  remove packages; a receipt with its record removes what its load wrote\n"
    "  -help          this text\n"
    "  -version       the version\n"
    "Environment:\n"
    "  LANG           the language of the messages (a catalogue xx.nls)\n"
    "  ZULPWD, HOME   where a relative TOC, and ~ in it, are taken from\n"
    "  PATH           where gunzip is found\n"
    "  TMPDIR         where the working files are made (else /tmp)\n"
    "  ZULANSWERS     a file every answer is appended to, for unattended runs\n"
    "  ZULRESPONSES   a file of answers by question: recorded where it is missing, else used\n"
    "  ZULDRYRUN=1    every check, then what would be loaded or removed; nothing written\n"
    "  ZULREPORT      a file the run appends its report to, one JSON object a line\n"
    "  ZULSTRICT=1    strict answers for scripts; the status tells how the run ended\n"
    "  ZULRECEIPT     a receipt a load writes, with the record of what it wrote\n"
    "  ZULVERIFY      size, or content (with a receipt): what verification compares\n"
    "  ZULPROGRESS    off: no progress line\n"
    "  ZULJOBS        how many archives a load extracts side by side\n"
    "  ZULTRUST       signed or sums: what a medium must carry to be used\n"
    "  ZULKEYS        the trusted public keys (else /etc/install/keys)\n"
    "  ZULCONFINE     landlock or off: a weaker confinement of tar and rm\n"
    "Exit status: 0, or with ZULSTRICT 1 failed, 2 refused, 3 ended by the operator,\n"
    "4 something missing, different or kept. See install(8).\n";

}  // namespace

void ShowAdministratorHelp() {
  if (isatty(STDERR_FILENO) != 1) return;
  std::fputs(kAdministratorHelp, stderr);
}
