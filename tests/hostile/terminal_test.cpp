// A whole run on a pseudo-terminal, where standard output is line-buffered:
// every prompt must be on the screen before the program waits for its
// answer, or the operator would type blind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "dialogue/medium.hpp"
#include "support/process.hpp"
#include "support/texts.hpp"

TEST(RealTerminal, EveryPromptIsVisibleBeforeTheProgramWaits) {
  Medium m;
  WriteFile(m.inst() + "/de.nls", "67,Lesbar?\n");
  RunOptions options = m.Options();
  options.env["LANG"] = "de_DE";
  LiveRun terminal({"-load"}, options, LiveRun::kTerminal);
  const std::pair<std::string, std::string> steps[] = {
      {"Is the previous statement legible in your native language? [yes] ", "n"},
      {kMountPrompt, "?"},
      {kMountPrompt, m.cdrom()},
      {InstallPrompt(m.inst()), ""},
      {kLoadPackagesPrompt, "?"},
      {kLoadPackagesPrompt, ""},
      {kLoadPackagesPrompt, ""},
      {"Is this correct? [yes] ", "q"},
      {kQuitPrompt, "n"},
      {"Is this correct? [yes] ", ""},
      {"List file names while loading? [no] ", "y"},
  };
  for (const auto& [prompt, answer] : steps) {
    ASSERT_TRUE(terminal.WaitFor(prompt, 5000)) << "never shown: " << prompt << "\n"
                                                << terminal.out();
    terminal.Write(answer + "\n");
  }
  EXPECT_TRUE(terminal.WaitFor(kLoadFinished)) << terminal.out();
  EXPECT_TRUE(terminal.WaitFor("Exiting..."));  // the terminal ends lines with "\r\n"
  int status = terminal.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(m.inst() + "/tools/a.txt"), "content of tools/a.txt\n");
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}
