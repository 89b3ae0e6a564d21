#include "loading/landing.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "common/entrypath.hpp"
#include "operations/linkwalk.hpp"
#include "system/otherswrite.hpp"
#include "system/trustedpath.hpp"

namespace {

const char kDirectoryOverLink[] = "a directory would replace a link";
const char kRootPathChangeable[] =
    "an absolute link leads through the installation directory's path, which another user can "
    "change, and tar runs without a private root";
const char kOpenToOthers[] =
    "another user can write to this directory, and tar runs without a private root";

// Why tar could extract `member` otherwise than its listing shows it, or
// make what a load must not; null when it extracts it as listed.
const char* NotAsListed(const MemberView& member) {
  switch (member.type) {
    case ArchiveMember::Type::kSpecial:
      return "it is a device, a FIFO or a socket";
    case ArchiveMember::Type::kOther:
      return "it is not a file, a directory or a link";
    default:
      break;
  }
  switch (member.data) {
    case ArchiveMember::Data::kOnLinkOrDirectory:
      return "it is a link or a directory that says it holds data";
    case ArchiveMember::Data::kShort:
      return "the archive holds less of it than its size (a sparse file)";
    case ArchiveMember::Data::kSparse:
      return "the archive holds it as a sparse file";
    default:
      return nullptr;
  }
}

std::string Join(const std::string& location, std::string_view name) {
  return location.empty() ? std::string(name) : location + "/" + std::string(name);
}

std::string ParentOf(const std::string& location) {
  size_t slash = location.rfind('/');
  return slash == std::string::npos ? std::string() : location.substr(0, slash);
}

}  // namespace

Landing::Landing(int root_fd, std::string root_path, bool refuse_open_directories)
    : root_fd_(root_fd),
      root_path_(std::move(root_path)),
      refuse_open_directories_(refuse_open_directories) {}

bool Landing::AllowsMember(const MemberView& member, Refusal& refusal,
                           std::vector<MemberView>& set_id) {
  last_place_.clear();
  refusal.name = member.name;
  if (const char* why = NotAsListed(member)) {
    refusal.reason = why;
    return false;
  }
  // tar skips a member whose name has a ".." component, and takes a
  // leading '/' away.
  std::string_view name = WithoutTrailingSlashes(member.name);
  if (HasDotDot(name)) return true;
  while (name.starts_with('/')) name.remove_prefix(1);
  if (name.empty()) return true;
  // "l/." and "l/" name what l leads to: tar cannot make a file or a link
  // there, and the link stays, where the walk below would take it as
  // replaced.
  if (member.type != ArchiveMember::Type::kDirectory &&
      (member.name.ends_with('/') || name == "." || name.ends_with("/."))) {
    refusal.reason = "it is not a directory, and its name ends in \"/\" or \"/.\"";
    return false;
  }
  // What stands at the member's own place is replaced, not gone through.
  std::string location;
  if (!ResolveMember(name, location, refusal)) return false;
  Node made;
  switch (member.type) {
    case ArchiveMember::Type::kDirectory:
      // tar would take the link away and make a directory: what was judged
      // through the link would no longer hold.
      if (const Node& there = Lookup(location); there.kind == Node::Kind::kSymlink) {
        refusal.reason = kDirectoryOverLink;
        return false;
      } else if (there.kind == Node::Kind::kDirectory) {
        // One that is there keeps its mode and owner (--no-overwrite-dir):
        // the member's say nothing of who can write to it.
        made = there;
        break;
      }
      made.kind = Node::Kind::kDirectory;
      made.made_by = batch_;
      made.open_to_others = refuse_open_directories_ && (member.mode & S_IWOTH) != 0;
      break;
    case ArchiveMember::Type::kSymlink:
      made.kind = Node::Kind::kSymlink;
      made.target = member.link;
      break;
    case ArchiveMember::Type::kHardlink:
      // One more name of what the target names: that must be inside too,
      // and a hard link to a symbolic link is that symbolic link.
      if (!JudgeHardLink(member, made, refusal)) return false;
      break;
    default:
      made.kind = Node::Kind::kOther;
  }
  Lands(location);
  // Only directories and links change how a later path is walked; a file
  // is not noted (a link it replaces stays noted, which refuses more, never
  // less).
  if (made.kind != Node::Kind::kOther) Note(location, std::move(made));
  last_place_ = std::move(location);
  if (member.type == ArchiveMember::Type::kFile && (member.mode & (S_ISUID | S_ISGID)) != 0) {
    set_id.push_back(member);
  }
  return true;
}

bool Landing::JudgeHardLink(const MemberView& member, Node& made, Refusal& refusal) {
  std::string target;
  if (HasDotDot(member.link) || !Resolve(member.link, target, refusal)) {
    refusal.name = member.name;
    refusal.reason = kLeadsOutside;
    return false;
  }
  if (footprint_) footprint_->Wrote(target);
  const Node& linked = Lookup(target);
  made = linked.kind == Node::Kind::kSymlink ? linked : Node{Node::Kind::kOther, "", false};
  return true;
}

bool Landing::Resolve(std::string_view path, std::string& location, Refusal& refusal,
                      std::vector<std::string>* links) {
  refusal.reason = kLeadsOutside;
  if (refuse_open_directories_ && !root_checked_) {
    struct stat st;
    if (fstat(root_fd_, &st) == 0 && OthersCanWrite(st)) {
      refusal.name = root_path_;
      refusal.reason = kOpenToOthers;
      return false;
    }
    root_checked_ = true;
  }
  LinkWalk walk(path, root_path_, true);
  location.clear();
  LinkWalk::Step step;
  while (walk.Next(step)) {
    if (step.name == "..") {
      if (location.empty()) return false;
      location = ParentOf(location);
      continue;
    }
    std::string candidate = Join(location, step.name);
    // What stands at the last place is replaced, not gone through: nothing
    // to look up (a file member of a load never costs a look at the disk).
    if (step.last) {
      location = std::move(candidate);
      continue;
    }
    const Node& node = Lookup(candidate);
    if (node.open_to_others && !step.last) {
      refusal.name = candidate;
      refusal.reason = kOpenToOthers;
      return false;
    }
    if (node.kind != Node::Kind::kMissing) Used(candidate, node);
    if (node.kind != Node::Kind::kSymlink) {
      location = std::move(candidate);
      continue;
    }
    if (links) links->push_back(candidate);
    // A relative link leads on from the directory that holds it; an
    // absolute one stays inside only through the installation directory's
    // own path.
    LinkWalk::Through through = walk.Follow(node.target);
    if (through == LinkWalk::Through::kOutside) return false;
    if (through == LinkWalk::Through::kRoot) {
      // tar follows it by the path, which is the held directory's only as
      // long as no other user can change a directory above it.
      if (refuse_open_directories_ && RootPathChangeable()) {
        refusal.name = candidate;
        refusal.reason = kRootPathChangeable;
        return false;
      }
      location.clear();
    }
  }
  return true;
}

bool Landing::RootPathChangeable() {
  if (!root_path_changeable_) {
    Untrusted untrusted;
    root_path_changeable_ = !IsTrustedPath(root_path_, untrusted);
  }
  return *root_path_changeable_;
}

const Landing::Node& Landing::Lookup(const std::string& location) {
  auto found = nodes_.find(location);
  if (found != nodes_.end()) return found->second;
  Node node;
  struct stat st;
  if (fstatat(root_fd_, location.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) {
      node.kind = Node::Kind::kSymlink;
      std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
      ssize_t got = readlinkat(root_fd_, location.c_str(), target.data(), target.size());
      // A link that cannot be read is taken to lead outside.
      node.target = got >= 0 ? target.substr(0, static_cast<size_t>(got)) : "/";
    } else if (S_ISDIR(st.st_mode)) {
      node.kind = Node::Kind::kDirectory;
      node.open_to_others = refuse_open_directories_ && OthersCanWrite(st);
    } else {
      node.kind = Node::Kind::kOther;
    }
  }
  return nodes_.emplace(location, std::move(node)).first->second;
}

bool Landing::ResolveMember(std::string_view name, std::string& location, Refusal& refusal) {
  size_t slash = name.rfind('/');
  std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
  // "a/." names "a" itself: walked in full.
  if (slash == std::string_view::npos || last.empty() || last == ".") {
    return Resolve(name, location, refusal);
  }
  std::string_view parent = name.substr(0, slash);
  auto known = parents_.find(parent);
  if (known == parents_.end()) {
    Parent walked;
    if (!Resolve(name, location, refusal, &walked.links)) return false;
    size_t end = location.size() - last.size();
    walked.location = location.substr(0, end > 0 ? end - 1 : 0);
    known = parents_.emplace(std::string(parent), std::move(walked)).first;
  }
  location = Join(known->second.location, last);
  // tar would take away the link its own name goes through, and then make
  // directories where the link was.
  for (const std::string& link : known->second.links) {
    if (link == location) {
      refusal.reason = "it would replace a link that its own name goes through";
      return false;
    }
  }
  return true;
}

void Landing::Lands(const std::string& location) {
  // Most members land in the directory of the member before them: the
  // directories above it are done then.
  std::string parent = ParentOf(location);
  if (parent != landed_in_) {
    landed_in_ = parent;
    for (; !parent.empty(); parent = ParentOf(parent)) {
      Node& node = nodes_[parent];
      if (node.kind == Node::Kind::kMissing) {
        node.kind = Node::Kind::kDirectory;
        node.made_by = batch_;
      }
      Used(parent, node);
    }
  }
  // A directory member writes its place too: tar sets the directory's
  // time, also of one that was there (it keeps only its mode and owner).
  if (footprint_) footprint_->Wrote(location);
}

void Landing::Used(const std::string& location, const Node& node) {
  if (!footprint_) return;
  switch (node.kind) {
    case Node::Kind::kDirectory:
      footprint_->UsedDirectory(location, node.made_by);
      break;
    case Node::Kind::kSymlink:
      footprint_->WentThrough(location);
      break;
    default:
      footprint_->Wrote(location);
  }
}

void Landing::Note(const std::string& location, Node node) {
  // A directory or a link noted can change how a directory walked before
  // is walked again.
  parents_.clear();
  landed_in_.clear();
  nodes_[location] = std::move(node);
}
