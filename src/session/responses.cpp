#include "session/responses.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "common/exitrequest.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "session/strict.hpp"

namespace {

struct Responses {
  std::string file;
  bool replaying = false;
  int record_fd = -1;
  std::vector<std::pair<std::string, std::string>> answers;  // in the order first given
  std::string category;
};

Responses& The() {
  static Responses responses;
  return responses;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fflush(stdout);
  std::fputs(("install: " + Visible(The().file) + ": " + Visible(why) + "\n").c_str(), stderr);
  exite(kStatusRefused);
}

std::string* Find(const std::string& key) {
  for (auto& [name, value] : The().answers) {
    if (name == key) return &value;
  }
  return nullptr;
}

void Read(const std::string& text) {
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) {
      Fail("line " + std::to_string(number) + " is not key=value");
    }
    std::string key = line.substr(0, equals);
    if (Find(key)) Fail("line " + std::to_string(number) + ": " + key + " is given twice");
    The().answers.emplace_back(key, line.substr(equals + 1));
  }
}

void Write() {
  Responses& r = The();
  std::string text = "# install's answers by question (ZULRESPONSES)\n";
  for (const auto& [key, value] : r.answers) text += key + "=" + value + "\n";
  if (ftruncate(r.record_fd, 0) != 0 ||
      pwrite(r.record_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    DieFor(r.file);
  }
}

}  // namespace

void UseResponses(const std::string& file) {
  if (file.empty()) return;
  Responses& r = The();
  r.file = file;
  int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st;
    std::string text;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (!regular) Fail("not a regular file");
    if (!ReadWholeFile(file, text)) Fail(std::strerror(errno));
    Read(text);
    r.replaying = true;
    UseStrictAnswers(true);
    return;
  }
  if (errno != ENOENT) Fail(errno == ELOOP ? "not a regular file" : std::strerror(errno));
  r.record_fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (r.record_fd < 0) Fail(std::strerror(errno));
}

bool ReplayingResponses() { return The().replaying; }

void NameCategory(std::string_view title) { The().category = title; }

std::string ResponseKey(Msg prompt) {
  switch (prompt) {
    case Msg::kMountPointQuestion:
      return "mount-point";
    case Msg::kInstallDirectoryQuestion:
      return "install-directory";
    case Msg::kCreateQuestion:
      return "create-directory";
    case Msg::kProductQuestionLoad:
    case Msg::kProductQuestionVerify:
    case Msg::kProductQuestionRemove:
      return "product";
    case Msg::kPackageQuestionLoad:
    case Msg::kPackageQuestionVerify:
    case Msg::kPackageQuestionRemove:
      return "packages " + The().category;
    case Msg::kCorrectQuestion:
      return "confirm";
    case Msg::kLoadAnywayQuestion:
      return "load-anyway";
    case Msg::kRestartQuestion:
      return "restart";
    case Msg::kListLoadingQuestion:
    case Msg::kListRemovingQuestion:
      return "list-files";
    case Msg::kQuitQuestion:
      return "quit";
    default:
      return "question-" + std::to_string(static_cast<int>(prompt));
  }
}

std::string ResponseFor(const std::string& key) {
  const std::string* answer = Find(key);
  if (!answer) Fail("no answer for " + key);
  return *answer;
}

void RecordResponse(const std::string& key, const std::string& answer) {
  if (The().record_fd < 0) return;
  if (std::string* known = Find(key)) {
    *known = answer;
  } else {
    The().answers.emplace_back(key, answer);
  }
  Write();
}

void MediumTitle(std::string_view title) {
  Responses& r = The();
  if (r.replaying) {
    const std::string* recorded = Find("medium");
    if (recorded && *recorded != title) {
      Fail("medium: the answers are for \"" + *recorded + "\", this medium is \"" +
           std::string(title) + "\"");
    }
    return;
  }
  RecordResponse("medium", std::string(title));
}

void RefusedResponse(const std::string& key, std::string_view what) {
  Fail(key + ": " + std::string(what));
}
