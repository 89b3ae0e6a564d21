#include "toc/scancd.hpp"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <string_view>
#include <utility>

#include "common/numbers.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "session/question.hpp"
#include "session/strict.hpp"

std::vector<std::string> NameDir;
std::vector<int> NameDirVariant;
int NumSel = -1;
int real_jj = 0;

namespace {

// Directories already walked, by device and inode: a symbolic link that
// leads back to an ancestor (or anywhere already seen) is not walked again,
// so the walk always ends.
using Visited = std::set<std::pair<dev_t, ino_t>>;

struct Entry {
  std::string name;
  unsigned char type;
};

// Records `dir` as a product when one of the six names opens there; the
// first name that opens decides its variant.
void TestForProduct(const char* const names[kNameForms], const std::string& dir) {
  for (int i = 0; i < kNameForms; ++i) {
    if (IsReadableFile(dir + "/" + names[i])) {
      real_jj = i;
      ++NumSel;
      NameDir.push_back(dir);
      NameDirVariant.push_back(i);
      return;
    }
  }
}

// The entries of `dir` in listing order, without "." and "..". The
// directory is closed before any of them is walked, so the depth of the
// tree never runs into the limit of open files. False when it cannot be
// opened.
bool ListEntries(const std::string& dir, std::vector<Entry>& entries) {
  DIR* handle = opendir(dir.c_str());
  if (!handle) return false;
  while (dirent* entry = readdir(handle)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({std::move(name), entry->d_type});
  }
  closedir(handle);
  return true;
}

// A name up to its version suffix (";1"), without regard to letter case:
// what a file system that maps names (a CD-ROM's) may answer an open for.
bool SameStem(std::string_view a, std::string_view b) {
  a = a.substr(0, a.find(';'));
  b = b.substr(0, b.find(';'));
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether one of the six names may open in a directory with these entries.
bool MayHoldToc(const char* const names[kNameForms], const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    for (int i = 0; i < kNameForms; ++i) {
      if (SameStem(entry.name, names[i])) return true;
    }
  }
  return false;
}

void Walk(const char* const names[kNameForms], const std::string& dir, int& status,
          Visited& visited) {
  status = 0;
  std::vector<Entry> entries;
  if (!ListEntries(dir, entries)) {
    TestForProduct(names, dir);
    status = -2;
    return;
  }
  // Six opens that fail in every directory cost more than the rest of the
  // walk; the listing tells where none of the names can be.
  if (MayHoldToc(names, entries)) TestForProduct(names, dir);
  for (const Entry& entry : entries) {
    // Only a directory or a symbolic link (which may lead to one) can be
    // walked; the listing's type spares a status read for the rest.
    if (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN) continue;
    std::string path = dir + "/" + entry.name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (!visited.insert({st.st_dev, st.st_ino}).second) continue;
    Walk(names, path, status, visited);
    if (status != 0) return;
  }
  status = 0;
}

void ReleasePaths() {
  NameDir.clear();
  NameDirVariant.clear();
}

// The stored paths are released however the call ends: a confirmed quit
// ends the run from inside the question.
struct PathsReleased {
  ~PathsReleased() { ReleasePaths(); }
};

// The product number of an answer, or 0 when it is none.
int ProductNumber(const std::string& answer, int count) {
  long long value = 0;
  if (!IsNumber(answer) || !ReadLeadingInteger(answer, value)) return 0;
  return value >= 1 && value <= count ? static_cast<int>(value) : 0;
}

}  // namespace

void walk_cd(const char* const names[kNameForms], const std::string& dir, int& status) {
  Visited visited;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) visited.insert({st.st_dev, st.st_ino});
  Walk(names, dir, status, visited);
}

void ScanCD(Mode mode, const char* const names[kNameForms], int& index, const std::string& mount,
            std::string& result) {
  ReleasePaths();
  NumSel = -1;
  int status = 0;
  PathsReleased released;
  walk_cd(names, mount, status);
  ++NumSel;
  index = real_jj;
  result.clear();
  if (status != 0) {
    std::fputs("\n", stdout);
    nprintf(Msg::kProductScanError);
    return;
  }
  if (NumSel == 0) return;

  std::fputs("\n", stdout);
  nprintf(WordingOf(mode).product_help);
  std::fputs("\n", stdout);
  for (int i = 1; i <= NumSel; ++i) {
    std::printf(" %3d - %s\n", i, Visible(NameDir[i - 1]).c_str());
  }
  int product = 0;
  // A declined quit word is judged like any other answer.
  Question menu{.prompt = WordingOf(mode).product_question,
                .default_answer = "1",
                .kind = AnswerKind::kText,
                .help = Msg::kProductNumberHelp,
                .quit_word = OnQuitWord::kConfirmThenJudge,
                .before_prompt = [] { std::fputs("\n", stdout); },
                .accept =
                    [&](const std::string& answer) {
                      product = ProductNumber(answer, NumSel);
                      if (product != 0) return true;
                      nprintf(Msg::kNotAValidSelection);
                      Refuse(WordingOf(mode).product_question, answer, "Not a valid selection");
                      return false;
                    }};
  Answer answer = AskQuestion(menu);
  if (answer.reply == Reply::kBack) {
    result.assign(1, '^');  // (assigning the literal trips a false warning of GCC 12)
  } else {
    result = NameDir[product - 1];
    // Each product keeps its own name form of the table of contents.
    index = NameDirVariant[product - 1];
  }
}
