#include "driver/farewell.hpp"

#include <cstdio>

#include "messages/catalogue.hpp"
#include "messages/print.hpp"
#include "system/workingfiles.hpp"

void SayFarewell() {
  ReleaseWorkingFiles();
  std::fputs("\n", stdout);
  nprintf(Msg::kExiting);
  UnloadMessages();
  std::fflush(stdout);
}
