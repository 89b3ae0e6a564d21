#include "messages/catalogue.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "common/answerline.hpp"
#include "common/answerwords.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/numbers.hpp"
#include "common/textfile.hpp"
#include "messages/messagetable.hpp"
#include "messages/print.hpp"

namespace {

const char* const try1 = "/cdrom";
const char* const try2 = "/cdrom/cdrom0/solaris2";
const char* const try3 = "/cdrom/solaris1";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Reads the number field the way "%d" does: optional white space, optional
// sign, digits; a value beyond the range of int is held at its limit. False
// when there are no digits.
bool ReadNumberField(std::string_view line, int& number) {
  long long value;
  if (!ReadLeadingInteger(line, value)) return false;
  number = static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
  return true;
}

void ReportLoadError(const std::string& path, long line) {
  std::printf("Error loading message translation file \"%s\" at line: %ld\n", path.c_str(), line);
  std::printf("No further attempt will be made - defaulting to English!\n");
  UseEnglish();
}

// Reads the catalogue file; nothing after reporting an error (English is
// then active).
std::optional<std::vector<CatalogueRecord>> ReadCatalogue(int fd, const std::string& path) {
  std::vector<CatalogueRecord> records;
  long line_number = 0;
  bool have_number = false;
  int current = 0;
  LineReader file(fd, path, 0);
  std::string_view line;
  while (file.Next(line)) {
    ++line_number;
    // A carriage return before the line end is the line end of a file
    // written on another system.
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    size_t comma = line.find(',');
    int number;
    if (ReadNumberField(line, number)) {
      have_number = true;
      current = number;
    }
    if (comma == std::string::npos || !have_number) {
      ReportLoadError(path, line_number);
      return std::nullopt;
    }
    records.push_back({current, std::string(line.substr(comma + 1))});
  }
  return records;
}

// An answer to the legibility check: yes when empty or a yes word; end of
// input means no.
bool AskLegible(const char* question) {
  std::fputs(question, stdout);
  std::fputs(" [yes] ", stdout);
  std::optional<std::string> answer = ReadAnswerOrEnd();
  return answer && (answer->empty() || IsYes(*answer));
}

void LegibilityCheck() {
  nprintf(Msg::kLegibilityCheck);
  bool yes = AskLegible("\nIs the previous statement legible in your native language?");
  if (yes) {
    std::fputs("\n", stdout);
    yes = AskLegible("Continue installation with the selected language interaction?");
  }
  if (!yes) {
    UseEnglish();
    std::fputs("\nChanging message interaction back to English\n", stdout);
  }
}

// The first candidate path that opens, open, or -1.
int FindCatalogue(const std::string& code, const std::vector<std::string>& dirs,
                  std::string& path) {
  std::string letters = Lower(code.substr(0, 2));
  for (int form = 0; form < kNameForms; ++form) {
    if (form == 3) {
      for (char& c : letters) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const std::string& dir : dirs) {
      path = dir + "/" + InNameForm(letters, "nls", form);
      if (!IsReadableFile(path)) continue;
      int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd >= 0) return fd;
    }
  }
  return -1;
}

}  // namespace

std::string MapLocaleToCode(const std::string& locale, const std::string& code) {
  std::string low = Lower(locale);
  auto begins = [&](const char* p) { return low.rfind(p, 0) == 0; };
  auto has = [&](const char* p) { return low.find(p) != std::string::npos; };
  if (low == "zh" || begins("zh_cn") || low == "zh_hk.dechanzi") return "zh";
  if (has("big5") || locale == "Zh_TW") return "b5";
  if (begins("zh_tw") || begins("zh_hk")) return "tw";
  if (low == "japanese" || has("sjis") || locale == "Ja_JP") return "jp";
  return code;
}

namespace {
std::string loaded_path;
}  // namespace

const std::string& LoadedCataloguePath() { return loaded_path; }

void LoadMessages(std::string& code, const std::string& dir, const std::string& locale,
                  const CatalogueCheck& check) {
  loaded_path.clear();
  code = MapLocaleToCode(locale, code);
  if (code == "en" || code == "C" || code.empty()) {
    UseEnglish();
    return;
  }
  std::vector<std::string> dirs = {dir};
  if (MessagesInUse() == CatalogueState::kNotChosen) dirs = {dir, ".", try1, try2, try3};
  std::string path;
  int fd = FindCatalogue(code, dirs, path);
  if (fd < 0) {
    if (MessagesInUse() == CatalogueState::kNotChosen) {
      std::fputs("\nUnable to locate message file on all known CD-ROM mount points.\n", stdout);
      std::fputs("Another attempt will be made after you specify the location of the CD-ROM\n",
                 stdout);
    } else {
      std::printf("\nUnable to locate the \"%s.nls\" message file for locale \"%s\"\n",
                  Lower(code.substr(0, 2)).c_str(), locale.c_str());
      std::fputs("No further attempt will be made - defaulting to English!\n", stdout);
    }
    UseEnglish();
    return;
  }
  if (check) check(path, fd);
  std::optional<std::vector<CatalogueRecord>> records;
  try {
    records = ReadCatalogue(fd, path);
  } catch (const std::bad_alloc&) {
    std::fputs("\nUnable to allocate memory for messages - defaulting to English\n", stdout);
    UseEnglish();
  }
  close(fd);
  if (!records) return;
  loaded_path = path;
  UseCatalogue(std::move(*records));
  LegibilityCheck();
}

void UnloadMessages() { SilenceMessages(); }
