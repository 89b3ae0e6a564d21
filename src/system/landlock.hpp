// Kernel confinement of the children (tar, rm, gunzip): under Linux Landlock
// they may write, create and remove only beneath the installation directory
// (or nowhere), and never make a device, FIFO or socket anywhere. Reading
// stays free.
#pragma once

#include "common/settings.hpp"

// A ruleset made in the installer and applied in a child between fork and
// exec, where nothing may allocate.
class Confinement {
 public:
  // The ruleset for the directory open as `dir_fd` (-1: nothing may be
  // written anywhere); an empty confinement (active() false) when the
  // kernel has no Landlock, it is disabled, or `mode` is kOff.
  // Where the kernel knows them, TCP, signals to processes outside the
  // child and abstract sockets outside it are refused as well.
  static Confinement Beneath(int dir_fd, ConfineMode mode);

  Confinement(Confinement&& other) noexcept;
  Confinement& operator=(Confinement&& other) noexcept;
  ~Confinement();

  bool active() const { return ruleset_fd_ >= 0; }

  // In the child: from here on the process and what it executes are
  // confined. False (errno set) when the kernel refused.
  bool ApplyInChild() const noexcept;

 private:
  Confinement() = default;
  int ruleset_fd_ = -1;
};

// The Landlock ABI version of the running kernel; 0 without Landlock.
int LandlockAbi();
