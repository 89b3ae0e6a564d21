// The one walk of a path beneath a root through symbolic links: the
// components still to be walked, each link's target walked in its place,
// at most 40 links, and an absolute target inside only through the root's
// own path. What a component is (on disk, or as the members of a load
// leave it) and where ".." leads are the caller's.
#pragma once

#include <deque>
#include <string>
#include <string_view>

class LinkWalk {
 public:
  // A component still to be walked; `last` marks the last component of the
  // path itself (never one of a link's target).
  struct Step {
    std::string name;
    bool last = false;
  };

  // Walks `path` beneath a root whose own path is `root_path`; with
  // `mark_last`, its last component comes marked.
  LinkWalk(std::string_view path, std::string_view root_path, bool mark_last);

  // Takes the next component; false when the walk is through.
  bool Next(Step& step);

  // Where the walk goes on after the component just taken turned out to be
  // a link to `target`.
  enum class Through {
    kHere,     // a relative target: on from the directory that holds the link
    kRoot,     // an absolute target inside: on from the root
    kOutside,  // an absolute target elsewhere, or one link too many
  };
  Through Follow(std::string_view target);

 private:
  void PushFront(std::string_view path, bool mark_last);

  std::string_view root_path_;
  std::deque<Step> pending_;
  int links_ = 0;
};
