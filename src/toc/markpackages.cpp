#include "toc/markpackages.hpp"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "common/answerwords.hpp"
#include "common/copyfile.hpp"
#include "common/lineio.hpp"
#include "common/mappedfile.hpp"
#include "common/numbers.hpp"
#include "common/textfile.hpp"
#include "messages/print.hpp"
#include "session/question.hpp"
#include "session/strict.hpp"
#include "toc/displaypackages.hpp"
#include "toc/tocline.hpp"

namespace {

constexpr char kSeparators[] = ", \t\n";

bool IsAllWord(const std::string& word) {
  return strcmpe(word, "all") == 0 || strcmpe(word, "al") == 0 || strcmpe(word, "a") == 0;
}

bool IsNoneWord(const std::string& word) {
  return strcmpe(word, "none") == 0 || strcmpe(word, "non") == 0 || strcmpe(word, "no") == 0 ||
         strcmpe(word, "n") == 0;
}

// Calls `token` for each token of `answer` in turn (views into it, so that
// a long answer costs no copy per token) until it returns false.
template <typename Fn>
void ForEachToken(std::string_view answer, Fn token) {
  size_t at = answer.find_first_not_of(kSeparators);
  while (at != std::string_view::npos) {
    size_t end = answer.find_first_of(kSeparators, at);
    if (!token(answer.substr(at, end - at))) return;
    at = answer.find_first_not_of(kSeparators, end);
  }
}

// The decimal value of a digit string; INT_MAX when it does not fit, which
// is above every package count.
int ValueOf(std::string_view digits) {
  long long value = 0;
  ReadLeadingInteger(digits, value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The package question's prompt ends with the default answer in brackets.
std::string DefaultAnswer(const std::string& file) {
  return TocLine(ReadFirstLine(file)).DefaultsToAll() ? "all" : "none";
}

// Takes the title lines out of `file` where it lies, when it is exactly
// `count` whole lines and at most its first line is a title (a category as
// the table of contents lists it): the rest moves up over the title line.
// False, with nothing changed, for any other file.
bool DropTitlesInPlace(const std::string& file, int count, const std::string& scratch) {
  MappedFile in(file, true);
  if (!in.mapped() || in.data()[in.size() - 1] != '\n') return false;
  size_t at = 0;
  size_t title_end = 0;
  std::string_view line;
  int lines = 0;
  for (size_t next; lines < count && LineAt(in.text(), at, line, next); at = next, ++lines) {
    if (TocLine(line).IsTitle()) {
      if (at != 0) return false;
      title_end = next;
    }
  }
  if (at != in.size()) return false;
  // As after the copy, no scratch file is left from an earlier step.
  RemoveOrDie(scratch);
  if (title_end == 0) return true;
  // Through a buffer and write(): storing into the mapping would fault on
  // every page. Each block is read before anything is written over it.
  std::vector<char> block(std::min<size_t>(in.size() - title_end, 1 << 18));
  for (size_t from = title_end; from < in.size(); from += block.size()) {
    size_t size = std::min(block.size(), in.size() - from);
    std::memcpy(block.data(), in.data() + from, size);
    WriteAll(in.fd(), block.data(), size, file);  // from the start, in order
  }
  if (ftruncate(in.fd(), static_cast<off_t>(in.size() - title_end)) != 0) DieFor(file);
  return true;
}

// Copies the first `count` lines of `file` to `scratch`, without title
// lines.
void CopyAllButTitles(const std::string& file, int count, const std::string& scratch) {
  LineReader in(file);
  LineWriter out(scratch);
  std::string_view line;
  for (int i = 0; i < count && in.Next(line); ++i) {
    if (!TocLine(line).IsTitle()) out.Write(line);
  }
  out.Close();
}

void WriteNothing(const std::string& scratch) { LineWriter(scratch).Close(); }

// Copies the chosen packages (sorted numbers) of `file` to `scratch`. A package is
// counted exactly as the listing counts it, so the numbers shown are the
// numbers chosen. A required line is always copied, and so are the lines
// that continue it.
void CopyChosen(const std::string& file, const std::vector<int>& chosen,
                const std::string& scratch) {
  LineReader in(file);
  LineWriter out(scratch);
  std::string_view line;
  int package = 0;
  size_t next = 0;
  bool copying = false;
  while (in.Next(line)) {
    TocLine view(line);
    if (view.IsTitle()) continue;
    if (view.IsRequired()) {
      copying = true;
    } else if (!view.IsContinuation()) {
      ++package;
      copying = next < chosen.size() && chosen[next] == package;
      if (copying) ++next;
    }
    if (copying) out.Write(line);
  }
  out.Close();
}

// The chosen lines in `scratch` become the content of `file`; `scratch`
// goes away.
int TakeChosenLines(const std::string& file, const std::string& scratch) {
  MoveOver(scratch, file);
  return 0;
}

// What the package question's help shows after its message.
void ShowListing(const std::string& file, const std::string& listing) {
  DisplayPackages(file, PackageDisplay::kListing, listing);
  std::fputs("\n", stdout);
  nprintf(Msg::kAnswerConventions);
}

}  // namespace

PackageChoice ParsePackageAnswer(const std::string& answer, const std::string& default_answer,
                                 int package_count) {
  if (answer.find_first_not_of(kSeparators) == std::string::npos) {
    return ParsePackageAnswer(default_answer, "none", package_count);
  }

  // Only a word at the very start counts; anything after it is ignored.
  std::string_view word = std::string_view(answer).substr(0, answer.find_first_of(kSeparators));
  if (word.size() <= 4) {
    if (IsAllWord(std::string(word))) return {PackageChoice::kAll, {}};
    if (IsNoneWord(std::string(word))) return {PackageChoice::kNone, {}};
  }

  // A number given twice makes the answer invalid: the numbers kept are
  // never more than the packages, however long the answer.
  PackageChoice choice;
  std::vector<bool> given(static_cast<size_t>(std::max(package_count, 0)) + 1);
  bool valid = true;
  ForEachToken(answer, [&](std::string_view token) {
    int value = IsNumber(token) ? ValueOf(token) : 0;
    valid = value > 0 && value <= package_count && !given[static_cast<size_t>(value)];
    if (valid) {
      given[static_cast<size_t>(value)] = true;
      choice.numbers.push_back(value);
    }
    return valid;
  });
  if (!valid) return {};
  std::sort(choice.numbers.begin(), choice.numbers.end());
  choice.kind = PackageChoice::kNumbers;
  return choice;
}

int MarkPackages(const std::string& file, Mode mode, int count, int n,
                 const CategoryWorkFiles& work) {
  if (n == 0) {
    // Nothing to choose: the required lines go without a question.
    if (DropTitlesInPlace(file, count, work.scratch)) return 0;
    CopyAllButTitles(file, count, work.scratch);
    return TakeChosenLines(file, work.scratch);
  }
  // An empty answer is the default, which ParsePackageAnswer reads as well.
  // An answer that chooses nothing valid is refused, and the question asked
  // again.
  std::string default_answer = DefaultAnswer(file);
  auto valid = [&](const std::string& answer) {
    if (ParsePackageAnswer(answer, default_answer, n).kind != PackageChoice::kInvalid) return true;
    nprintf(Msg::kNotAValidSelection);
    std::fputs("\n", stdout);
    Refuse(WordingOf(mode).package_question, answer, ReasonOf(Msg::kNotAValidSelection));
    return false;
  };
  Question packages{.prompt = WordingOf(mode).package_question,
                    .default_answer = default_answer,
                    .kind = AnswerKind::kText,
                    .help = WordingOf(mode).package_help,
                    .after_help = [&] { ShowListing(file, work.listing); },
                    .accept = valid};
  Answer answer = AskQuestion(packages);
  if (answer.reply == Reply::kBack) return 1;
  PackageChoice choice = ParsePackageAnswer(answer.text, default_answer, n);
  switch (choice.kind) {
    case PackageChoice::kAll:
      if (DropTitlesInPlace(file, count, work.scratch)) return 0;
      CopyAllButTitles(file, count, work.scratch);
      break;
    case PackageChoice::kNone:
      WriteNothing(work.scratch);
      break;
    case PackageChoice::kNumbers:
      CopyChosen(file, choice.numbers, work.scratch);
      break;
    case PackageChoice::kInvalid:  // refused by the question
      break;
  }
  return TakeChosenLines(file, work.scratch);
}
