#include "session/runreport.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>

#include "common/textfile.hpp"
#include "system/interrupts.hpp"
#include "system/notice.hpp"
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

struct Report {
  int fd = -1;
  std::string version, operation;
  std::string started_at;  // the run's start, in UTC
  std::chrono::steady_clock::time_point started;
  bool start_written = false;
  std::map<std::string, uint64_t, std::less<>> counts;
};

Report& TheReport() {
  static Report report;
  return report;
}

// Read by the interrupt handler: the descriptor, and the line it writes
// (nothing made there but one write).
volatile int interrupted_fd = -1;
constexpr char kEndedBySignal[] = "{\"event\":\"end\",\"ended_by_signal\":true}\n";

void ReportInterrupt() {
  if (interrupted_fd >= 0) {
    ssize_t wrote = write(interrupted_fd, kEndedBySignal, sizeof kEndedBySignal - 1);
    (void)wrote;
  }
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc;
  char text[32] = "";
  if (gmtime_r(&now, &utc)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// One object, one line, one write: a name that is not UTF-8 has its stray
// bytes replaced, as JSON holds only text.
void Write(const Json& object) {
  Report& report = TheReport();
  std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  if (write(report.fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    Notice("install: the report could not be written: ", std::strerror(errno), "");
    interrupted_fd = -1;
    close(report.fd);
    report.fd = -1;
  }
}

}  // namespace

void OpenRunReport(const std::string& file, std::string_view version, std::string_view operation) {
  if (file.empty()) return;
  Report& report = TheReport();
  report.version = version;
  report.operation = operation;
  report.started_at = UtcNow();
  report.started = std::chrono::steady_clock::now();
  int fd = OpenForAppending(file, 0640);
  if (fd < 0) {
    Notice("install: no report in ", file,
           std::string(": ") + (errno == 0 ? "not a regular file" : std::strerror(errno)));
    return;
  }
  report.fd = fd;
  interrupted_fd = fd;
  AddInterruptCleanup(ReportInterrupt);
}

void ReportStart(std::string_view installation_directory, std::string_view medium) {
  Report& report = TheReport();
  if (report.fd < 0 || report.start_written) return;
  report.start_written = true;
  Json start = {{"event", "start"}, {"time", report.started_at}, {"operation", report.operation}};
  uid_t uid = getuid();
  const passwd* user = getpwuid(uid);
  start["user"] = user ? user->pw_name : std::to_string(uid);
  start["uid"] = uid;
  // Unknown (null) for a run that ended before its operation.
  start["installation_directory"] =
      installation_directory.empty() ? Json(nullptr) : Json(installation_directory);
  start["medium"] = medium.empty() ? Json(nullptr) : Json(medium);
  start["version"] = report.version;
  Write(start);
}

void ReportPackage(std::string_view category, std::string_view package) {
  if (TheReport().fd < 0) return;
  Write({{"event", "package"}, {"category", category}, {"package", package}});
}

void ReportEntry(std::string_view event, std::string_view path) {
  Report& report = TheReport();
  if (report.fd < 0) return;
  ++report.counts[std::string(event)];
  Write({{"event", event}, {"path", path}});
}

void ReportEnd(int status) {
  Report& report = TheReport();
  if (report.fd < 0) return;
  ReportStart("", "");
  Json counts = Json::object();
  for (const auto& [event, count] : report.counts) counts[event] = count;
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - report.started);
  Write({{"event", "end"},
         {"status", status},
         {"counts", counts},
         {"seconds", static_cast<double>(took.count()) / 1000}});
  interrupted_fd = -1;
  close(report.fd);
  report.fd = -1;
}
