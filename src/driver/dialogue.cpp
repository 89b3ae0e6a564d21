#include "driver/dialogue.hpp"

#include "driver/sequence.hpp"
#include "driver/summary.hpp"

void RunDialogue(RunState& state) {
  enum class Step { kMountPoint, kInstallDirectory, kCategories, kSummary };
  Step step = Step::kMountPoint;
  for (;;) {
    switch (step) {
      case Step::kMountPoint:
        AskMountPoint(state);
        step = Step::kInstallDirectory;
        break;
      case Step::kInstallDirectory:
        step = AskInstallDirectory(state) ? Step::kCategories : Step::kMountPoint;
        break;
      case Step::kCategories:
        step = AskCategories(state) ? Step::kSummary : Step::kInstallDirectory;
        break;
      case Step::kSummary:
        step =
            ConfirmAndRun(state) == Back::kCategories ? Step::kCategories : Step::kInstallDirectory;
        break;
    }
  }
}
