// Where the members of a load land, judged before tar runs. tar extracts
// every member below a listed directory and follows the symbolic links that
// are on disk or that earlier members made, so the judgement follows them
// too: through the links on disk and through the links that earlier members
// and batches of the same load create. It is the last wall, behind the
// kernel's: what it cannot be sure of (a directory over a link) it
// refuses.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "loading/archivemembers.hpp"
#include "loading/footprint.hpp"

// The reason given for a name or member that would land outside.
inline constexpr char kLeadsOutside[] = "it leads outside the installation directory";

// Why a member or listed name may not be extracted.
struct Refusal {
  std::string name;    // the member, listed name or directory concerned
  std::string reason;  // ends the line "NAME: not extracted: REASON"
};

class Landing {
 public:
  // `root_fd` is the installation directory, `root_path` its path now (for
  // absolute link targets). With `refuse_open_directories` (no private
  // root) a directory that another user can write to, where something would
  // be written, is refused: that user could swap it for a link while tar
  // runs; and so is an absolute link into the root when another user can
  // change a directory above it.
  Landing(int root_fd, std::string root_path, bool refuse_open_directories);

  // Judges the members of one batch that `selected` accepts, in archive
  // order, and notes what they make for the members and batches after them.
  // Files with set-user-ID or set-group-ID are added to `set_id`. With
  // `places`, the place below the root where each judged member lands is
  // added to it, in order (for a comparison with where tar puts it). With
  // `footprint`, what the batch makes and the links it goes through are
  // noted there.
  template <typename Members, typename Selected>
  bool Allows(const Members& members, Selected selected, Refusal& refusal,
              std::vector<MemberView>& set_id, std::vector<std::string>* places = nullptr,
              Footprint* footprint = nullptr) {
    footprint_ = footprint;
    batch_ = footprint ? footprint->batch() : 0;
    // Every link a path of this batch goes through is walked, and noted,
    // at least once.
    if (footprint) {
      parents_.clear();
      landed_in_.clear();
      // About one place a member, and some directories and links.
      footprint->Reserve(members.size() + members.size() / 8);
    }
    bool allowed = true;
    for (const MemberView member : members) {
      if (!selected(member.name)) continue;
      allowed = AllowsMember(member, refusal, set_id);
      if (!allowed) break;
      if (places) places->push_back(last_place_);
    }
    if (allowed && footprint) footprint->Seal();
    footprint_ = nullptr;
    return allowed;
  }

 private:
  struct Node {
    enum class Kind { kMissing, kDirectory, kSymlink, kOther };
    Kind kind = Kind::kMissing;
    std::string target;           // of a symbolic link
    bool open_to_others = false;  // a directory on disk that must not be used
    int made_by = 0;              // the batch that makes a directory; 0: on disk
  };
  // A member lands at `location`: the directories above it are there from
  // now on (made by this batch where they were missing), and the
  // footprint, if any, notes all of them.
  void Lands(const std::string& location);
  // Notes in the footprint, if any, that the batch uses `node` at
  // `location` (walks through it or makes it).
  void Used(const std::string& location, const Node& node);

  bool AllowsMember(const MemberView& member, Refusal& refusal, std::vector<MemberView>& set_id);
  // A hard link member: what it makes, in `made`.
  bool JudgeHardLink(const MemberView& member, Node& made, Refusal& refusal);
  // The location of `path` below the root, through every link on the way
  // but the last component itself, which a member replaces; false
  // when it leads outside or through too many links. The locations of the
  // links gone through are added to `links`, when given.
  bool Resolve(std::string_view path, std::string& location, Refusal& refusal,
               std::vector<std::string>* links = nullptr);
  // Resolve() for a member's name, through the place its directory was
  // found at for the member before it when nothing noted since can have
  // changed it: most members of an archive share their directory.
  bool ResolveMember(std::string_view name, std::string& location, Refusal& refusal);
  const Node& Lookup(const std::string& location);
  // Whether another user can make the root's path name another directory.
  bool RootPathChangeable();
  void Note(const std::string& location, Node node);

  int root_fd_;
  std::string root_path_;
  bool refuse_open_directories_;
  bool root_checked_ = false;
  std::optional<bool> root_path_changeable_;
  std::string last_place_;          // of the member judged last; empty when tar skips it
  std::string landed_in_;           // the directory the member before landed in
  Footprint* footprint_ = nullptr;  // of the batch being judged, when asked for
  int batch_ = 0;                   // its number
  // What is known of each location below the root: read from disk once, and
  // changed by every member judged.
  std::unordered_map<std::string, Node> nodes_;
  // Where the directory of a member name lies, and the links its walk went
  // through, until a directory or a link is noted.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  struct Parent {
    std::string location;
    std::vector<std::string> links;
  };
  std::unordered_map<std::string, Parent, NameHash, std::equal_to<>> parents_;
};
