#include "system/landlock.hpp"

#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The rights of later ABI versions, for headers older than the kernel.
constexpr uint64_t kRefer = 1ULL << 13;     // ABI 2
constexpr uint64_t kTruncate = 1ULL << 14;  // ABI 3
constexpr uint64_t kBindTcp = 1ULL << 0;    // ABI 4, networking
constexpr uint64_t kConnectTcp = 1ULL << 1;
constexpr uint64_t kScopeAbstractSockets = 1ULL << 0;  // ABI 6
constexpr uint64_t kScopeSignals = 1ULL << 1;

// The ruleset's attributes as the newest kernels know them; an older
// kernel is given only the fields its ABI has.
struct RulesetAttributes {
  uint64_t handled_access_fs = 0;
  uint64_t handled_access_net = 0;
  uint64_t scoped = 0;
};

size_t AttributesSize(int abi) {
  if (abi >= 6) return sizeof(RulesetAttributes);
  if (abi >= 4) return offsetof(RulesetAttributes, scoped);
  return offsetof(RulesetAttributes, handled_access_net);
}

// Every right that writes, makes or removes something, by the ABI that
// knows it; reading and executing are not handled, so they stay free.
uint64_t HandledRights(int abi) {
  uint64_t rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                    LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                    LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                    LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                    LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) rights |= kRefer;
  if (abi >= 3) rights |= kTruncate;
  return rights;
}

// What is granted beneath the installation directory: all of the above but
// devices, FIFOs and sockets.
uint64_t GrantedRights(int abi) {
  return HandledRights(abi) & ~(LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                                LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_SOCK);
}

// The raw calls: the C library has no wrappers.
int CreateRuleset(const void* attr, size_t size, uint32_t flags) {
  return static_cast<int>(syscall(SYS_landlock_create_ruleset, attr, size, flags));
}

int AddRule(int ruleset, landlock_rule_type type, const void* attr) {
  return static_cast<int>(syscall(SYS_landlock_add_rule, ruleset, type, attr, 0));
}

int RestrictSelf(int ruleset) {
  return static_cast<int>(syscall(SYS_landlock_restrict_self, ruleset, 0));
}

}  // namespace

int LandlockAbi() {
  static const int abi = [] {
    int version = CreateRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return version > 0 ? version : 0;
  }();
  return abi;
}

Confinement Confinement::Beneath(int dir_fd, ConfineMode mode) {
  Confinement confinement;
  int abi = LandlockAbi();
  if (abi == 0 || mode == ConfineMode::kOff) return confinement;
  // Nothing a file extractor needs is handled but writing: no TCP at all,
  // no signal to a process outside the child's own, no abstract socket
  // outside (where the kernel knows these).
  RulesetAttributes ruleset;
  ruleset.handled_access_fs = HandledRights(abi);
  ruleset.handled_access_net = kBindTcp | kConnectTcp;
  ruleset.scoped = kScopeAbstractSockets | kScopeSignals;
  int fd = CreateRuleset(&ruleset, AttributesSize(abi), 0);
  if (fd < 0) return confinement;
  // Without a directory: written nowhere.
  if (dir_fd < 0) {
    confinement.ruleset_fd_ = fd;
    return confinement;
  }
  landlock_path_beneath_attr beneath = {};
  beneath.allowed_access = GrantedRights(abi);
  beneath.parent_fd = dir_fd;
  if (AddRule(fd, LANDLOCK_RULE_PATH_BENEATH, &beneath) != 0) {
    close(fd);
    return confinement;
  }
  confinement.ruleset_fd_ = fd;
  return confinement;
}

Confinement::Confinement(Confinement&& other) noexcept
    : ruleset_fd_(std::exchange(other.ruleset_fd_, -1)) {}

Confinement& Confinement::operator=(Confinement&& other) noexcept {
  std::swap(ruleset_fd_, other.ruleset_fd_);
  return *this;
}

Confinement::~Confinement() {
  if (ruleset_fd_ >= 0) close(ruleset_fd_);
}

bool Confinement::ApplyInChild() const noexcept {
  if (ruleset_fd_ < 0) return true;
  // Required before a process without CAP_SYS_ADMIN may restrict itself,
  // and what keeps a set-user-ID program it runs from escaping.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  return RestrictSelf(ruleset_fd_) == 0;
}
