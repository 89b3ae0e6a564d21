#include "loading/tarrequest.hpp"

#include <string_view>
#include <unordered_set>

#include "common/entrypath.hpp"

namespace {

// A member name that tar matches, extracts and excludes as it stands: no
// leading '/' (which tar would take away), no ".." (which tar skips with a
// failure), and nothing tar reads differently in a list of exclusions: no
// blank at either end (taken away; which bytes are blanks depends on the
// locale, so both ends are plain ASCII), no control character (a line end
// splits the name), no backslash.
bool IsPlain(std::string_view name) {
  auto plain_end = [](unsigned char c) { return c > ' ' && c < 0x7f; };
  if (name.empty() || name.starts_with('/') || HasDotDot(name)) return false;
  if (!plain_end(name.front()) || !plain_end(name.back())) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == '\\') return false;
  }
  return true;
}

// The directory that holds `name`; empty for one at the top.
std::string_view DirectoryOf(std::string_view name) {
  size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
}

}  // namespace

TarRequest ChooseTarRequest(const MemberList& members, const TarBatch& batch,
                            [[maybe_unused]] bool verbose, size_t few_names) {
  TarRequest names;
  // A bit a member: whether the batch wants it; a bit a listed name:
  // whether it equals a wanted member or lies above one (tar fails on a
  // name that matches nothing). The directories above wanted members.
  std::vector<bool> wanted(members.size()), matched(batch.count());
  size_t matches = 0;
  std::unordered_set<std::string_view> above;
  std::string_view directory_before;
  bool plain = true, all = true;
  for (size_t i = 0; i < members.size(); ++i) {
    std::string_view member = members[i].name, name = WithoutTrailingSlashes(member);
    plain = plain && IsPlain(name);
    if (!batch.Selects(member)) {
      all = false;
      continue;
    }
    wanted[i] = true;
    for (std::string_view place = name; !place.empty() && matches < batch.count();
         place = DirectoryOf(place)) {
      size_t number = batch.NumberOf(place);
      if (number != std::string_view::npos && !matched[number]) {
        matched[number] = true;
        ++matches;
      }
    }
    // Most members lie in the directory of the member before.
    std::string_view directory = DirectoryOf(name);
    if (directory == directory_before) continue;
    directory_before = directory;
    while (!directory.empty() && above.insert(directory).second) directory = DirectoryOf(directory);
  }
  // Only the list of names keeps tar's failure on a name that matches no
  // member.
  if (matches != batch.count()) return {TarRequest::Kind::kNames, {}, true};
  if (all) return {TarRequest::Kind::kWhole, {}};
  if (!plain || batch.count() < few_names) return names;
  // Excluding a directory excludes what lies below it, so a directory that
  // is not wanted but holds wanted members would stay in: tar would make it
  // from its member, with the mode and time the archive gives (and set the
  // time of one that is there), where the list of names makes it only as
  // the parent of what it holds (mode from the umask, time of now) and
  // leaves one that is there as it was; that member would be neither judged
  // nor in the batch's footprint, and its name would join tar's listing.
  TarRequest complement{TarRequest::Kind::kComplement, {}};
  for (size_t i = 0; i < members.size(); ++i) {
    if (wanted[i]) continue;
    std::string_view name = WithoutTrailingSlashes(members[i].name);
    if (above.contains(name)) return names;
    complement.excluded.push_back(name);
  }
  return complement;
}

std::vector<std::string> TarArguments(const std::string& archive, bool list_names,
                                      const TarRequest& request, const std::string& list) {
  // What is loaded belongs to the installing user. Directories that are
  // there keep their mode and owner; a directory member sets the time.
  std::vector<std::string> args = {"/bin/tar",        list_names ? "xvf" : "xf",
                                   archive,           "--force-local",
                                   "--no-same-owner", "--no-overwrite-dir"};
  switch (request.kind) {
    case TarRequest::Kind::kWhole:
      break;
    case TarRequest::Kind::kNames:
      // The names reach tar exactly as listed, one per NUL byte: never an
      // option, never a pattern.
      args.insert(args.end(), {"--verbatim-files-from", "--null", "--files-from=" + list});
      break;
    case TarRequest::Kind::kComplement:
      // One name per line, each matched literally (no wildcards, a
      // backslash is itself) and whole (anchored at the start, and a
      // directory with what lies below it): tar looks such names up in a
      // hash table, once per member.
      args.insert(args.end(), {"--no-wildcards", "--anchored", "--exclude-from=" + list});
      break;
  }
  return args;
}
