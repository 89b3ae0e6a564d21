// How tar is asked for the members a batch wants. GNU tar compares every
// member with every name of a list, so its cost grows with members times
// names; the member list read before the run lets the installer ask in a
// way that costs nothing per name, with the same result on disk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "loading/archivemembers.hpp"
#include "loading/tarbatch.hpp"

struct TarRequest {
  enum class Kind {
    kWhole,       // every member is wanted: no list at all
    kNames,       // the list of names, as the table of contents gives them
    kComplement,  // every member but those named in `excluded`
  };
  Kind kind = Kind::kNames;
  // For kComplement: the names of the members left out, views into the
  // members' list (valid while it is held).
  std::vector<std::string_view> excluded;
  // tar will fail: a listed name matches no member.
  bool fails = false;
};

// The cheapest request that extracts exactly what `batch` names from an
// archive holding `members` (when `verbose`, tar's listing must stay the
// same too: it does, whichever is chosen). Whenever another request could
// differ from the list of names, in what it extracts, in what tar lists or
// in how tar ends, it is the list of names. The list of names is taken
// below `few_names` names anyway: it costs next to nothing then.
TarRequest ChooseTarRequest(const MemberList& members, const TarBatch& batch, bool verbose,
                            size_t few_names = 32);

// tar's arguments for `request` of `archive` ("-": standard input); `list`
// names the members of a list of names, or the members a complement leaves
// out. With `list_names`, tar names each member it extracts.
std::vector<std::string> TarArguments(const std::string& archive, bool list_names,
                                      const TarRequest& request, const std::string& list);
