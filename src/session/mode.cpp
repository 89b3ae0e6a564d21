#include "session/mode.hpp"

namespace {

constexpr ModeWording kNoWording = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr ModeWording kLoadWording = {11, 19, 32, 34, 61, 64, 77, 80};
constexpr ModeWording kVerifyWording = {12, 20, 0, 0, 62, 65, 78, 81};
constexpr ModeWording kRemoveWording = {13, 21, 33, 35, 63, 66, 79, 82};

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
