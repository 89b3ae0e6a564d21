// An archive opened once, with its members as tar lists them: tar lists the
// members from this descriptor and then extracts from the same one, so that
// another user who renames or replaces the file meanwhile changes neither
// what is judged nor what is extracted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loading/archivemembers.hpp"
#include "operations/mediumtrust.hpp"

class Sandbox;
struct Command;

class ListedArchive {
 public:
  ListedArchive() = default;
  ListedArchive(ListedArchive&& other) noexcept { *this = std::move(other); }
  ListedArchive& operator=(ListedArchive&& other) noexcept;
  ~ListedArchive() { Close(); }

  // Opens `path` as a regular file and, where the medium's checksums
  // `sums` hold its own, lists its members with tar, through gunzip when it
  // is `compressed`, in `sandbox`. The descriptor is left at the start of
  // the file. tar and gunzip run at `niceness` (above 0 for a listing made
  // ahead of its need, beside the extraction the load waits for).
  // `digests`: each file's data is hashed where the listing found it, when
  // the archive's form shows where that is (see MemberView::digest).
  void List(const std::string& path, bool compressed, const Sandbox& sandbox,
            const MediumSums& sums, bool digests, int niceness = 0);

  const std::string& path() const { return path_; }
  // The open archive; -1 when it did not open (open_error() says why).
  int fd() const { return fd_; }
  int open_error() const { return open_error_; }
  const MemberList& members() const { return members_; }
  // The members are judged: what they hold is not needed while tar runs.
  void ForgetMembers() { members_ = MemberList(); }
  // Why the members could not be listed; empty when they were.
  const std::string& error() const { return error_; }

  // Shows on standard error what the listing's tar and gunzip said there:
  // kept until the batch of the archive comes, so that a listing made ahead
  // does not speak in the middle of the batch before.
  void ShowWhatWasSaid() const;

 private:
  void Close();
  // The members from tar's listing, written into the file open as
  // `listing`; each file whose header `says_sparse` (given its block) is
  // marked so: in an archive with no header between members, the block tar
  // lists a member at is the header it read, and the only way tar reads a
  // file's data otherwise than by its size is a sparse map. True when
  // headers lie between members (see ListingReader::headers_between).
  // `data_after`, when given, makes the digest of a file's data from the
  // block of its header and its size.
  bool ReadListing(int listing, const std::function<bool(uint64_t)>& says_sparse,
                   const std::function<FileDigest(uint64_t, uint64_t)>& data_after);
  // Runs tar's extraction view of the archive and compares it with the
  // listing in the file open as `listing` (see ReadAlike).
  void CheckByExtracting(int listing, bool compressed, const Sandbox& sandbox, int niceness);
  // A child that reads the archive as its standard input, in `sandbox`:
  // tar with `arguments`, or gunzip without any.
  Command Reader(const Sandbox& sandbox, std::vector<std::string> arguments, int niceness) const;

  std::string path_;
  int fd_ = -1;
  int open_error_ = 0;
  MemberList members_;
  std::string error_;
  int said_ = -1;  // a memory file holding the children's standard error
};
