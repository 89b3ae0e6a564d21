// The package question over arbitrary category contents:
// "flags answer LF contents". The contents become MOD; duplicate marking,
// the listing count, the answer grammar and the copy of the chosen lines
// run on them as the question does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/exitrequest.hpp"
#include "driver/farewell.hpp"
#include "support.hpp"
#include "system/workingfiles.hpp"
#include "toc/displaypackages.hpp"
#include "toc/markduplicates.hpp"
#include "toc/markpackages.hpp"
#include "toc/tocline.hpp"

namespace {

// Marking changes column 5 of some lines to '*' and nothing else; lines
// after the first `count` are dropped.
void CheckMarking(const std::vector<std::string>& before, const std::vector<std::string>& after,
                  size_t count) {
  if (after.size() != std::min(before.size(), count)) Finding("marking changed the line count");
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i].size() != before[i].size()) Finding("marking changed a line's length");
    for (size_t c = 0; c < after[i].size(); ++c) {
      if (after[i][c] != before[i][c] && !(c == 5 && after[i][c] == '*')) {
        Finding("marking changed more than column 5");
      }
    }
  }
}

void CheckChoice(const PackageChoice& choice, int n) {
  if (choice.kind != PackageChoice::kNumbers) return;
  if (choice.numbers.empty()) Finding("a list of no numbers");
  for (size_t i = 0; i < choice.numbers.size(); ++i) {
    if (choice.numbers[i] < 1 || choice.numbers[i] > n) Finding("a number out of range");
    if (i > 0 && choice.numbers[i] <= choice.numbers[i - 1]) Finding("numbers not distinct");
  }
}

// The chosen lines are lines of the category, in its order, never a title;
// "all" keeps every line but the titles, "none" keeps nothing.
void CheckCopy(const std::vector<std::string>& marked, const std::vector<std::string>& chosen,
               PackageChoice::Kind kind, int n) {
  std::vector<std::string> untitled;
  for (const std::string& line : marked) {
    if (!TocLine(line).IsTitle()) untitled.push_back(line);
  }
  if ((kind == PackageChoice::kAll || n == 0) && chosen != untitled) Finding("all lost lines");
  if (kind == PackageChoice::kNone && n > 0 && !chosen.empty()) Finding("none kept lines");
  size_t at = 0;
  for (const std::string& line : chosen) {
    while (at < untitled.size() && untitled[at] != line) ++at;
    if (at == untitled.size()) Finding("a chosen line that the category does not hold");
    ++at;
  }
}

void AskOnce(std::string_view answer, std::string_view contents, Mode mode, int count_shift) {
  WriteBytes(MOD, contents);
  std::vector<std::string> lines = SplitLines(contents);
  int count = std::max(0, static_cast<int>(lines.size()) + count_shift);
  MarkDuplicates(MOD, count, MOD, TMP);
  std::vector<std::string> marked = ReadLines(MOD);
  CheckMarking(lines, marked, static_cast<size_t>(count));

  int n = DisplayPackages(MOD, PackageDisplay::kTitle, TMP2);
  std::string default_answer =
      !marked.empty() && TocLine(marked[0]).DefaultsToAll() ? "all" : "none";
  PackageChoice choice = ParsePackageAnswer(std::string(answer), default_answer, n);
  CheckChoice(choice, n);

  FeedStandardInput(std::string(answer) + "\n");
  int result = MarkPackages(MOD, mode, count, n, {.scratch = TMP, .listing = TMP2});
  if (result == 0) CheckCopy(marked, ReadLines(MOD), choice.kind, n);
  if (result < 0 && (n == 0 || choice.kind != PackageChoice::kInvalid)) {
    Finding("a valid answer refused");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzDirectory();
  QuietStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t end = rest.find('\n');
  std::string_view answer = rest.substr(0, end);
  std::string_view contents = end == std::string_view::npos ? "" : rest.substr(end + 1);
  // The answer is read as a C string.
  answer = answer.substr(0, answer.find('\0'));
  // The farewell after an ended run releases the messages and the working
  // files.
  if (MOD.empty()) {
    UseEnglishMessages();
    if (!MakeWorkingFiles(FuzzDirectory())) Finding("no working files");
  }
  const Mode modes[] = {Mode::kLoad, Mode::kVerify, Mode::kRemove};
  Mode mode = modes[data[0] % 3];
  int count_shift = (data[0] >> 2) % 3 - 1;
  try {
    AskOnce(answer, contents, mode, count_shift);
  } catch (const ExitRequest& request) {
    // Only end of input after '?' or a quit word ends the run here.
    if (request.status != 1) Finding("the question ended the run with status 0");
    SayFarewell();  // as the top of the program does
  }
  return 0;
}
