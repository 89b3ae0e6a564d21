#include "operations/loadrecord.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <tuple>

#include "common/checksumlist.hpp"
#include "common/exitrequest.hpp"
#include "common/sha256.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "operations/beneath.hpp"
#include "system/notice.hpp"
#include "system/trustedpath.hpp"

namespace {

// Appends `text` in double quotes, as C writes a string: a quote, a
// backslash and every byte that is not printable ASCII escaped, so that any
// name reads back as it was.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  // Most names need no escape: they go in whole.
  size_t plain = 0;
  while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x7f && text[plain] != '"' &&
         text[plain] != '\\') {
    ++plain;
  }
  out.append(text.substr(0, plain));
  for (char c : text.substr(plain)) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7f) {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      out += octal;
    } else {
      out += c;
    }
  }
  out += '"';
}

// Reads a string AppendQuoted() wrote from the start of `text`, and takes it
// off; false when there is none.
bool Unquote(std::string_view& text, std::string& out) {
  if (!text.starts_with('"')) return false;
  out.clear();
  size_t i = 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    if (text[i] == '"' || text[i] == '\\') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int value = 0;
    for (size_t k = i; k < i + 3; ++k) {
      if (text[k] < '0' || text[k] > '7') return false;
      value = value * 8 + (text[k] - '0');
    }
    if (value > 0xff) return false;
    out += static_cast<char>(value);
    i += 2;
  }
  if (i >= text.size()) return false;
  text.remove_prefix(i + 1);
  return true;
}

}  // namespace

std::string RecordHeader(int receipt_fd) {
  std::string hex;
  if (receipt_fd < 0 || !Sha256OfFile(receipt_fd, hex)) return "";
  return std::string(kRecordOfReceipt) + hex + "\n";
}

std::string ReadRecordFile(const std::string& record, const char* suffix) {
  std::string path = record + suffix;
  Untrusted untrusted;
  if (!IsTrustedPath(path, untrusted)) {
    Notice("install: record " + Visible(path) + " not used: ", untrusted.where,
           ": " + untrusted.why);
    exite(1);
  }
  std::string text;
  if (!ReadWholeFile(path, text)) DieFor(path);
  // Written for this very receipt: not for an edited one, nor beside
  // another load's.
  int receipt = open(record.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  std::string header = RecordHeader(receipt);
  if (receipt >= 0) close(receipt);
  if (header.empty()) DieFor(record);
  if (!text.starts_with(header)) {
    Notice("install: ", path,
           ": not the record of " + record +
               " (it changed after the load, or the record is "
               "another's)");
    exite(1);
  }
  return text.substr(header.size());
}

ChecksumList ReadRecordedSums(const std::string& record) {
  ChecksumList list;
  if (std::string why = ReadChecksumList(ReadRecordFile(record, ".sums"), list, true);
      !why.empty()) {
    Notice("install: ", record + ".sums", ": " + why);
    exite(1);
  }
  return list;
}

bool ReadRecordedLine(std::string_view line, RecordedMember& member) {
  if (line.size() < 2 || std::string_view("fdlh").find(line[0]) == std::string_view::npos ||
      line[1] != ' ') {
    return false;
  }
  member.type = line[0];
  line.remove_prefix(2);
  unsigned mode = 0;
  long long size = 0;
  int used = 0;
  std::string head(line.substr(0, 40));
  if (std::sscanf(head.c_str(), "%o %lld %n", &mode, &size, &used) != 2 || used <= 0) {
    return false;
  }
  member.mode = mode;
  line.remove_prefix(static_cast<size_t>(used));
  member.link.clear();
  if (!Unquote(line, member.place)) return false;
  if (line.starts_with(" -> ")) {
    line.remove_prefix(4);
    if (!Unquote(line, member.link)) return false;
  }
  return line.empty() && !member.place.empty();
}

LoadRecord::LoadRecord(const ReceiptPlace& receipt, int root_fd, std::string root_path)
    : active_(!receipt.empty()),
      receipt_(receipt),
      root_fd_(root_fd),
      root_path_(std::move(root_path)) {
  if (!active_) return;
  int fd = openat(receipt_.dir_fd, receipt_.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  std::string header = RecordHeader(fd);
  if (fd >= 0) close(fd);
  if (header.empty()) DieFor(receipt_.path);
  Rewrite({}, header, header);
}

LoadRecord::~LoadRecord() {
  ForgetParent();
  if (list_fd_ >= 0) close(list_fd_);
  if (sums_fd_ >= 0) close(sums_fd_);
}

int LoadRecord::ParentOf(const std::string& place, std::string& name) {
  size_t slash = place.rfind('/');
  std::string parent = slash == std::string::npos ? "" : place.substr(0, slash);
  if (parent_fd_ < 0 || parent != parent_path_) {
    ForgetParent();
    Parent opened = OpenParentBeneath(root_fd_, root_path_, place, false);
    if (opened.outcome != Parent::Outcome::kOpened) return -1;
    parent_fd_ = opened.fd;
    parent_path_ = parent;
  }
  name = place.substr(slash == std::string::npos ? 0 : slash + 1);
  return parent_fd_;
}

void LoadRecord::ForgetParent() {
  if (parent_fd_ >= 0) close(parent_fd_);
  parent_fd_ = -1;
}

bool LoadRecord::Lines(const RecordedMember& member, bool read_back, std::string& list,
                       std::string& sums) {
  uint64_t size = 0;
  if (member.type == 'f' && member.digest.known && !read_back) {
    size = member.digest.size;
    AppendChecksumLine(sums, Sha256Hex(member.digest.sha256).view(), member.place);
  } else if (member.type == 'f' || member.type == 'h') {
    // Read back where tar wrote it: what stands there now, if it is still
    // a regular file (a later member of the batch may have taken its place).
    std::string name;
    int parent = ParentOf(member.place, name);
    if (parent < 0) return false;
    int fd = openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    std::string hex;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Sha256OfFile(fd, hex, st.st_size);
    close(fd);
    if (!regular) return false;
    size = static_cast<uint64_t>(st.st_size);
    AppendChecksumLine(sums, hex, member.place);
  }
  char head[40];
  int made = std::snprintf(head, sizeof head, "%c %04o %llu ", member.type,
                           static_cast<unsigned>(member.mode & 07777),
                           static_cast<unsigned long long>(size));
  list.append(head, static_cast<size_t>(made));
  AppendQuoted(list, member.place);
  if (!member.link.empty()) {
    list += " -> ";
    AppendQuoted(list, member.link);
  }
  list += '\n';
  return true;
}

void LoadRecord::Add(const std::vector<RecordedMember>& members) {
  if (!active_) return;
  // The batch's lines, each place once (its last member's). A place that
  // several members take is read back: tar makes some links only at its
  // end, over what took their place meanwhile. The places are found again
  // by their hashes, sorted (a map of names would cost a batch of small
  // files more than its lines).
  std::hash<std::string_view> hash;
  std::vector<std::pair<size_t, uint32_t>> by_hash(members.size());
  for (size_t i = 0; i < members.size(); ++i) by_hash[i] = {hash(members[i].place), i};
  std::sort(by_hash.begin(), by_hash.end());
  enum : uint8_t { kOnce, kLastOfMany, kTakenLater };
  std::vector<uint8_t> taken(members.size(), kOnce);
  for (size_t run = 0, end; run < by_hash.size(); run = end) {
    for (end = run + 1; end < by_hash.size() && by_hash[end].first == by_hash[run].first;) ++end;
    // Sorted, a run's members come in archive order: each meets only the
    // ones after it.
    for (size_t i = run; i < end; ++i) {
      for (size_t j = i + 1; j < end; ++j) {
        uint32_t earlier = by_hash[i].second, later = by_hash[j].second;
        if (members[earlier].place != members[later].place) continue;
        taken[earlier] = kTakenLater;
        if (taken[later] == kOnce) taken[later] = kLastOfMany;
      }
    }
  }
  std::string list, sums;
  std::vector<std::string_view> written;
  bool again = false;
  for (size_t i = 0; i < members.size(); ++i) {
    const RecordedMember& member = members[i];
    if (member.place.empty() || taken[i] == kTakenLater) continue;
    if (!Lines(member, taken[i] == kLastOfMany, list, sums)) continue;
    written.push_back(member.place);
    // Within the batch each place is there once: one met here is an
    // earlier batch's.
    again = !recorded_.insert(hash(member.place)).second || again;
  }
  // A directory held from one batch to the next could be another by then.
  ForgetParent();
  // A place an earlier batch recorded: its earlier lines go.
  if (again) {
    Rewrite(std::unordered_set<std::string_view>(written.begin(), written.end()), list, sums);
    return;
  }
  // One write a file for the batch, then to the disk: an interrupted load
  // leaves whole batches.
  if (!WriteText(list_fd_, list) || fsync(list_fd_) != 0) DieFor(receipt_.path + ".list");
  if (!WriteText(sums_fd_, sums) || fsync(sums_fd_) != 0) DieFor(receipt_.path + ".sums");
}

void LoadRecord::Complete() {
  if (!active_) return;
  std::string line = std::string(kRecordComplete) + "\n";
  if (!WriteText(list_fd_, line) || fsync(list_fd_) != 0) DieFor(receipt_.path + ".list");
}

// The place a line of either file is about; empty when it cannot tell.
std::string LoadRecord::PlaceOf(std::string_view line, bool list) {
  if (list) {
    RecordedMember member;
    return ReadRecordedLine(line, member) ? member.place : "";
  }
  std::string hex, name;
  return ReadChecksumLine(line, true, hex, name).empty() ? name : "";
}

void LoadRecord::Rewrite(const std::unordered_set<std::string_view>& dropped,
                         const std::string& list, const std::string& sums) {
  for (auto [suffix, fd, added] :
       {std::tuple{".list", &list_fd_, &list}, std::tuple{".sums", &sums_fd_, &sums}}) {
    std::string name = receipt_.name + suffix, path = receipt_.path + suffix, temporary, text;
    struct stat st;
    if (*fd >= 0) {
      if (fstat(*fd, &st) != 0) DieFor(path);
      std::string old(static_cast<size_t>(st.st_size), '\0');
      if (pread(*fd, old.data(), old.size(), 0) != st.st_size) DieFor(path);
      for (size_t at = 0; at < old.size();) {
        size_t end = std::min(old.find('\n', at), old.size());
        std::string_view line = std::string_view(old).substr(at, end - at);
        if (!dropped.contains(PlaceOf(line, suffix[1] == 'l'))) {
          text.append(line);
          text += '\n';
        }
        at = end + 1;
      }
    }
    text += *added;
    int made = PrivateFileIn(receipt_.dir_fd, temporary);
    if (made < 0) DieFor(path);
    if (!WriteText(made, text) || fchmod(made, 0644) != 0 || fsync(made) != 0 ||
        renameat(receipt_.dir_fd, temporary.c_str(), receipt_.dir_fd, name.c_str()) != 0) {
      int error = errno;
      unlinkat(receipt_.dir_fd, temporary.c_str(), 0);
      errno = error;
      DieFor(path);
    }
    if (*fd >= 0) close(*fd);
    *fd = made;
  }
}
