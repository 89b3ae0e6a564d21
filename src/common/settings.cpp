#include "common/settings.hpp"

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

bool IsLocaleVariable(const char* entry) {
  return std::strncmp(entry, "LANG=", 5) == 0 || std::strncmp(entry, "LANGUAGE=", 9) == 0 ||
         std::strncmp(entry, "LC_", 3) == 0;
}

std::string Text(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::optional<std::string> Optional(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// A whole number from 1 up, else 0.
int Count(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  long asked = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || asked < 1) return 0;
  return asked > 1000000 ? 1000000 : static_cast<int>(asked);
}

}  // namespace

Settings ReadSettings() {
  Settings settings;
  std::string confine = Text("ZULCONFINE");
  if (confine == "off") settings.confine = ConfineMode::kOff;
  if (confine == "landlock") settings.confine = ConfineMode::kLandlock;
  settings.jobs = Count(Text("ZULJOBS"));
  settings.progress = Text("ZULPROGRESS") != "off";
  settings.verify_sizes = Text("ZULVERIFY") == "size";
  settings.verify_contents = Text("ZULVERIFY") == "content";
  std::string strict = Text("ZULSTRICT");
  settings.strict = !strict.empty() && strict != "0";
  std::string dry_run = Text("ZULDRYRUN");
  settings.dry_run = !dry_run.empty() && dry_run != "0";
  settings.receipt = Text("ZULRECEIPT");
  settings.trust = Text("ZULTRUST");
  settings.keys = Text("ZULKEYS");
  settings.answers = Text("ZULANSWERS");
  settings.report = Text("ZULREPORT");
  settings.responses = Text("ZULRESPONSES");
  settings.pwd = Optional("ZULPWD");
  settings.home = Optional("HOME");
  settings.path = Text("PATH");
  settings.tmpdir = Text("TMPDIR");
  settings.lang = Text("LANG");
  for (char** entry = environ; *entry; ++entry) {
    if (IsLocaleVariable(*entry)) settings.locale.emplace_back(*entry);
  }
  return settings;
}
