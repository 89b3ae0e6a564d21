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
void TestForProduct(const char* const names[kNameForms], const std::string& dir,
                    std::vector<Product>& products) {
  for (int i = 0; i < kNameForms; ++i) {
    if (IsReadableFile(dir + "/" + names[i])) {
      products.push_back({dir, i});
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

// False when a directory could not be opened: that stops the whole walk.
bool Walk(const char* const names[kNameForms], const std::string& dir, Visited& visited,
          std::vector<Product>& products) {
  std::vector<Entry> entries;
  if (!ListEntries(dir, entries)) {
    TestForProduct(names, dir, products);
    return false;
  }
  // Six opens that fail in every directory cost more than the rest of the
  // walk; the listing tells where none of the names can be.
  if (MayHoldToc(names, entries)) TestForProduct(names, dir, products);
  for (const Entry& entry : entries) {
    // Only a directory or a symbolic link (which may lead to one) can be
    // walked; the listing's type spares a status read for the rest.
    if (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN) continue;
    std::string path = dir + "/" + entry.name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (!visited.insert({st.st_dev, st.st_ino}).second) continue;
    if (!Walk(names, path, visited, products)) return false;
  }
  return true;
}

// The product number of an answer, or 0 when it is none.
int ProductNumber(const std::string& answer, int count) {
  long long value = 0;
  if (!IsNumber(answer) || !ReadLeadingInteger(answer, value)) return 0;
  return value >= 1 && value <= count ? static_cast<int>(value) : 0;
}

// Shows the menu of `products` and asks for one: its index, or none for a
// step back.
std::optional<size_t> AskProduct(Mode mode, const std::vector<Product>& products) {
  std::fputs("\n", stdout);
  nprintf(WordingOf(mode).product_help);
  std::fputs("\n", stdout);
  for (size_t i = 0; i < products.size(); ++i) {
    std::printf(" %3zu - %s\n", i + 1, Visible(products[i].dir).c_str());
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
                      product = ProductNumber(answer, static_cast<int>(products.size()));
                      if (product != 0) return true;
                      nprintf(Msg::kNotAValidSelection);
                      Refuse(WordingOf(mode).product_question, answer,
                             ReasonOf(Msg::kNotAValidSelection));
                      return false;
                    }};
  if (AskQuestion(menu).reply == Reply::kBack) return std::nullopt;
  return static_cast<size_t>(product - 1);
}

}  // namespace

ProductWalk walk_cd(const char* const names[kNameForms], const std::string& dir) {
  Visited visited;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) visited.insert({st.st_dev, st.st_ino});
  ProductWalk walk;
  walk.failed = !Walk(names, dir, visited, walk.products);
  return walk;
}

ProductChoice ScanCD(Mode mode, const char* const names[kNameForms], const std::string& mount) {
  ProductWalk walk = walk_cd(names, mount);
  if (walk.failed) {
    std::fputs("\n", stdout);
    nprintf(Msg::kProductScanError);
    return {};
  }
  if (walk.products.empty()) return {};
  std::optional<size_t> chosen = AskProduct(mode, walk.products);
  if (!chosen) return {.chosen = std::nullopt, .stepped_back = true};
  return {.chosen = std::move(walk.products[*chosen]), .stepped_back = false};
}
