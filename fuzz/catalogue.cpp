// The catalogue-file reader: a catalogue written from the input, the
// legibility check answered from the input's first byte, then messages
// printed from whatever was loaded.
#include "messages/catalogue.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/exitrequest.hpp"
#include "messages/english.hpp"
#include "messages/print.hpp"
#include "support.hpp"

namespace {

const char* const kAnswers[] = {"", "\n\n", "y\nyes\n", "n\n", "y\n", "YE\nno\n", " y\n", "\n"};

// A line of a carriage return alone is blank too: the line end of a file
// written on another system.
size_t NonBlankLines(std::string_view bytes) {
  size_t count = 0;
  for (const std::string& line : SplitLines(bytes)) count += !line.empty() && line != "\r";
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzDirectory();
  QuietStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string& dir = FuzzDirectory();
  WriteBytes(dir + "/de.nls", bytes);
  FeedStandardInput(kAnswers[data[0] % 8]);
  // The first attempt finds the file in the directory it is given first.
  if (data[0] & 8) {
    ForgetMessageChoice();
  } else {
    UseEnglish();
  }
  std::string code = "de";
  try {
    LoadMessages(code, dir, "de_DE");
    if (MessagesInUse() == CatalogueState::kEnglish && numrec != englishcount)
      Finding("English with a wrong count");
    // Every line but a blank one is one record, however long.
    if (MessagesInUse() == CatalogueState::kTranslated &&
        static_cast<size_t>(numrec) != NonBlankLines(bytes)) {
      Finding("records lost or split");
    }
    if (MessagesInUse() != CatalogueState::kEnglish &&
        MessagesInUse() != CatalogueState::kTranslated) {
      Finding("no catalogue state");
    }
    // A catalogue holds lines for any number: printed by number.
    for (int number : {0, 4, 5, 22, 42, 67, static_cast<int>(data[0])}) {
      nprintf(static_cast<Msg>(number));
      hprintf(static_cast<Msg>(number));
    }
  } catch (const ExitRequest&) {
    Finding("the catalogue reader ended the run");
  }
  UnloadMessages();
  return 0;
}
