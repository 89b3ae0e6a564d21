#include "session/mode.hpp"

namespace {

constexpr ModeWording kNoWording = {Msg::kNone, Msg::kNone, Msg::kNone, Msg::kNone,
                                    Msg::kNone, Msg::kNone, Msg::kNone, Msg::kNone};
constexpr ModeWording kLoadWording = {Msg::kInstallDirectoryHelpLoad, Msg::kChosenToLoad,
                                      Msg::kListLoadingQuestion,      Msg::kListLoadingHelp,
                                      Msg::kPackageQuestionLoad,      Msg::kPackageHelpLoad,
                                      Msg::kProductHelpLoad,          Msg::kProductQuestionLoad};
constexpr ModeWording kVerifyWording = {Msg::kInstallDirectoryHelpVerify,
                                        Msg::kChosenToVerify,
                                        Msg::kNone,
                                        Msg::kNone,
                                        Msg::kPackageQuestionVerify,
                                        Msg::kPackageHelpVerify,
                                        Msg::kProductHelpVerify,
                                        Msg::kProductQuestionVerify};
constexpr ModeWording kRemoveWording = {
    Msg::kInstallDirectoryHelpRemove, Msg::kChosenToRemove,        Msg::kListRemovingQuestion,
    Msg::kListRemovingHelp,           Msg::kPackageQuestionRemove, Msg::kPackageHelpRemove,
    Msg::kProductHelpRemove,          Msg::kProductQuestionRemove};

}  // namespace

const ModeWording& WordingOf(Mode mode) {
  switch (mode) {
    case Mode::kLoad:
      return kLoadWording;
    case Mode::kVerify:
      return kVerifyWording;
    case Mode::kRemove:
      return kRemoveWording;
    case Mode::kNone:
      break;
  }
  return kNoWording;
}
