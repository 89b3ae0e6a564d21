// A whole run on a pseudo-terminal, where standard output is line-buffered:
// every prompt must be on the screen before the program waits for its
// answer, or the operator would type blind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>

#include "common/tocformat.hpp"
#include "dialogue/medium.hpp"
#include "hostile/hostile.hpp"
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

namespace {

// What a terminal shows for `output`: a carriage return goes back to the
// start of the row, ESC [ K clears the row from there, a line end starts a
// new row; other characters are written over what stands there.
std::string Screen(const std::string& output) {
  std::vector<std::string> rows(1);
  size_t column = 0;
  for (size_t i = 0; i < output.size(); ++i) {
    if (output.compare(i, 3, "\033[K") == 0) {
      rows.back().resize(std::min(rows.back().size(), column));
      i += 2;
    } else if (output[i] == '\r') {
      column = 0;
    } else if (output[i] == '\n') {
      rows.emplace_back();
      column = 0;
    } else {
      if (rows.back().size() <= column) rows.back().resize(column + 1, ' ');
      rows.back()[column++] = output[i];
    }
  }
  std::string screen;
  for (const std::string& row : rows) screen += row + "\n";
  return screen;
}

}  // namespace

TEST(RealTerminal, AProgressLineWhileLoadingLeavesTheScreenAsItWas) {
  std::map<std::string, std::string> screens;
  for (const char* progress : {"on", "off"}) {
    HostileMedium m;
    std::string toc = TocHeader("Many") + TocTitle(1, true, "Files");
    std::vector<std::string> files;
    for (int i = 0; i < 2000; ++i) {
      std::string name = "d" + std::to_string(i / 100) + "/f" + std::to_string(i);
      m.Stage(name, "data\n");
      files.push_back(name);
      toc += TocEntry(1, 'F', i == 0 ? 'O' : '*', "Files", "01", 5, name);
    }
    m.Archive("01", files);
    m.Toc(toc);
    RunOptions options = m.Options();
    options.env["ZULPROGRESS"] = progress;
    LiveRun terminal({"-load"}, options, LiveRun::kTerminal);
    ASSERT_TRUE(terminal.WaitFor(kMountPrompt)) << terminal.out();
    terminal.Write(AcceptAll(m.cdrom()));
    ASSERT_TRUE(terminal.WaitFor("Exiting...")) << terminal.out();
    bool shown = terminal.out().find("\033[KLoading [") != std::string::npos;
    EXPECT_EQ(shown, std::string(progress) == "on") << terminal.out();
    std::string screen = MaskSpace(Screen(terminal.out()));
    for (size_t at; (at = screen.find(m.root())) != std::string::npos;) {
      screen.replace(at, m.root().size(), "ROOT");
    }
    screens[progress] = screen;
    terminal.Wait();

    // Standard error that is no terminal gets nothing.
    RunResult piped = m.Run("-load", AcceptAll(m.cdrom()));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
  }
  EXPECT_EQ(screens["on"], screens["off"]);
}
