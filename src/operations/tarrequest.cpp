#include "operations/tarrequest.hpp"

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

// Every name and every directory above it, of the wanted members.
std::unordered_set<std::string_view> WantedAndAbove(const std::vector<std::string_view>& wanted) {
  std::unordered_set<std::string_view> places;
  for (std::string_view name : wanted) {
    places.insert(name);
    for (size_t slash = name.find('/'); slash != std::string_view::npos;
         slash = name.find('/', slash + 1)) {
      places.insert(name.substr(0, slash));
    }
  }
  return places;
}

// Whether every listed name equals a wanted member or lies above one: tar
// fails on a name that matches nothing. Stops as soon as all have matched.
bool EveryNameMatches(const TarBatch& batch, const std::vector<std::string_view>& wanted) {
  std::unordered_set<std::string_view> matched;
  for (std::string_view name : wanted) {
    for (std::string_view place = name; !place.empty();) {
      if (batch.names().contains(place)) matched.insert(place);
      size_t slash = place.rfind('/');
      place = slash == std::string_view::npos ? std::string_view() : place.substr(0, slash);
    }
    if (matched.size() == batch.names().size()) return true;
  }
  return matched.size() == batch.names().size();
}

}  // namespace

TarRequest ChooseTarRequest(const MemberList& members, const TarBatch& batch, bool verbose,
                            size_t few_names) {
  TarRequest names;
  std::vector<std::string_view> wanted, unwanted;
  bool plain = true;
  for (const MemberView member : members) {
    std::string_view name = WithoutTrailingSlashes(member.name);
    plain = plain && IsPlain(name);
    (batch.Selects(member.name) ? wanted : unwanted).push_back(name);
  }
  // Only the list of names keeps tar's failure on a name that matches no
  // member.
  if (!EveryNameMatches(batch, wanted)) return {TarRequest::Kind::kNames, {}, true};
  if (unwanted.empty()) return {TarRequest::Kind::kWhole, {}};
  if (!plain || batch.count() < few_names) return names;
  std::unordered_set<std::string_view> places = WantedAndAbove(wanted);
  // Excluding a directory excludes what lies below it, so a directory that
  // is not wanted but holds wanted members stays in: tar then makes it from
  // its member, with the mode and time the archive gives, where the list of
  // names makes it only as the parent of what it holds (mode from the
  // umask, time of now). Its name would also join tar's listing.
  TarRequest complement{TarRequest::Kind::kComplement, {}};
  for (std::string_view name : unwanted) {
    if (!places.contains(name)) {
      complement.excluded.emplace_back(name);
    } else if (verbose) {
      return names;
    }
  }
  return complement;
}

std::vector<std::string> TarArguments(const std::string& archive, bool list_names,
                                      const TarRequest& request, const std::string& list) {
  // What is loaded belongs to the installing user.
  // Directories that are there keep their mode, owner and times.
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
