// What -help adds for an administrator beyond the operator's help text:
// the options and the environment variables. Shown on standard error, and
// only when it is a terminal, so that the help text a script reads stays
// as it always was.
#pragma once

void ShowAdministratorHelp();
