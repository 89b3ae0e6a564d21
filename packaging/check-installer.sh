#!/usr/bin/env bash
# Checks the installer made for media: it needs no shared library but the C
# library and its loader, so that it starts on a target machine that has no
# C++ runtime, and it is stripped.
#   bash packaging/check-installer.sh [--sanitized] PROGRAM
# --sanitized also allows the sanitizer runtimes that a sanitized build
# links (such a build is for tests, never for media).
set -euo pipefail

allowed='^(libc\.so\.6|ld-linux[-a-z0-9_]*\.so\.[0-9]+)$'
if [ "${1:-}" = --sanitized ]; then
  allowed='^(libc\.so\.6|ld-linux[-a-z0-9_]*\.so\.[0-9]+|libasan\.so\.[0-9]+|libubsan\.so\.[0-9]+)$'
  shift
fi
program=${1:?usage: check-installer.sh [--sanitized] PROGRAM}

dynamic=$(readelf -d "$program")
needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' <<<"$dynamic")
[ -n "$needed" ] || { echo "$program: readelf shows no NEEDED entry"; exit 1; }
status=0
while read -r library; do
  if ! [[ $library =~ $allowed ]]; then
    echo "$program needs $library"
    status=1
  fi
done <<<"$needed"
if readelf -S "$program" | grep -Eq '\.symtab|\.debug_'; then
  echo "$program is not stripped"
  status=1
fi
[ $status -ne 0 ] || echo "$program needs only" $needed "and is stripped ($(stat -c %s "$program") bytes)"
exit $status
