#include "system/capabilities.hpp"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr CapabilitySet Bit(int capability) { return CapabilitySet{1} << capability; }

bool Has(const __user_cap_data_struct (&data)[2], int capability) {
  return (data[capability / 32].effective & (1u << (capability % 32))) != 0;
}

}  // namespace

CapabilitySet ExtractorCapabilities() {
  return Bit(CAP_CHOWN) | Bit(CAP_DAC_OVERRIDE) | Bit(CAP_FOWNER) | Bit(CAP_FSETID);
}

CapabilitySet RemoverCapabilities() { return Bit(CAP_DAC_OVERRIDE) | Bit(CAP_FOWNER); }

CapabilitySet ReaderCapabilities() { return Bit(CAP_DAC_OVERRIDE); }

bool KeepOnlyCapabilities(CapabilitySet keep) noexcept {
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  if (Has(data, CAP_SETPCAP)) {
    // Up to the first number the kernel does not know.
    for (int capability = 0; capability < 64; ++capability) {
      if ((keep & Bit(capability)) != 0) continue;
      if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) {
        if (errno == EINVAL) break;
        return false;
      }
    }
  }
  if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
    return false;
  }
  for (int half = 0; half < 2; ++half) {
    auto kept = static_cast<uint32_t>(keep >> (32 * half));
    data[half].effective &= kept;
    data[half].permitted &= kept;
    data[half].inheritable = 0;
  }
  return syscall(SYS_capset, &header, data) == 0;
}
