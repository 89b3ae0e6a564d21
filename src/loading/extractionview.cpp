#include "loading/extractionview.hpp"

#include <cstdint>
#include <string_view>

#include "common/entrypath.hpp"
#include "common/lineio.hpp"
#include "loading/archivemembers.hpp"

std::vector<std::string> ExtractionViewArguments(const std::string& archive) {
  // Names only: what a header says is the listing's to show; here only
  // where each member lies counts.
  return {"--extract",         "--to-stdout",   "--verbose",        "--block-number",
          "--quoting-style=c", "--force-local", "--file=" + archive};
}

namespace {

// Whether extraction passes over the `index`th member with only a
// complaint ("Member name contains '..'"), not a line of its own.
bool PassedOver(const MemberList& members, size_t index) {
  return index < members.size() && HasDotDot(members[index].name);
}

}  // namespace

bool ReadAlike(int listing, int view, const MemberList& members) {
  LineReader listed(listing, "tar's listing", 0), viewed(view, "tar's extraction view", 0);
  std::string_view line;
  size_t member = 0;
  while (viewed.Next(line)) {
    uint64_t at = 0;
    ListingLine kind = ParseBlockLine(line, at);
    // tar's own complaints share the view's lines.
    if (kind == ListingLine::kNotUnderstood) continue;
    // One line of the listing for each: a member passed over could be one
    // that extraction reads as data.
    uint64_t listed_at = 0;
    ListingLine listed_kind;
    do {
      if (!listed.Next(line)) return false;
      listed_kind = ParseBlockLine(line, listed_at);
    } while (listed_kind == ListingLine::kMember && PassedOver(members, member++));
    if (listed_kind != kind) return false;
    if (kind == ListingLine::kEnd) return listed_at == at;
    if (listed_at + 1 != at) return false;
  }
  return false;
}
