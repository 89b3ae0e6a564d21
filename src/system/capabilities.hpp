// The powers of root a child keeps: a file extractor run as root needs only
// to write a tree that is not its own (owners, modes, permission checks);
// every other capability (reading past permissions by handle, mounting,
// modules, signalling anyone, ...) goes from its bounding set, so that
// nothing it executes can have it either.
#pragma once

#include <cstdint>

// A set of capabilities, one bit per capability number.
using CapabilitySet = uint64_t;

// What tar needs to extract (CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_FOWNER,
// CAP_FSETID), what rm needs to remove (CAP_DAC_OVERRIDE, CAP_FOWNER), and
// what a reader needs to open its archive again by name (CAP_DAC_OVERRIDE).
CapabilitySet ExtractorCapabilities();
CapabilitySet RemoverCapabilities();
CapabilitySet ReaderCapabilities();

// In the child, between fork and exec, with system calls only: keeps
// `keep` at most in the bounding, permitted and effective sets, and
// nothing inheritable or ambient. A process without the right to drop
// from its bounding set (not root) has no capability to keep anyway and
// only lowers what it can. False (errno set) when the kernel refused.
bool KeepOnlyCapabilities(CapabilitySet keep) noexcept;
