#!/usr/bin/env bash
# Builds the sample distribution with mkdist into BUILD_DIR/demo/cdrom, with
# the installer and its German catalogue on it, makes an empty installation
# folder beside it and starts the installer from the medium, so that the
# operator can answer the questions.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "Usage: bash demo/run.sh BUILD_DIR" >&2
  exit 2
fi
demo=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
for program in mkdist medium/install; do
  if [ ! -x "$build/$program" ]; then
    echo "demo: $build/$program is missing; build first (make build)" >&2
    exit 1
  fi
done

scratch=$build/demo
cdrom=$scratch/cdrom
installed=$scratch/installed
# Only the two folders this script makes are replaced.
rm -rf -- "$cdrom" "$installed"
mkdir -p -- "$scratch"
# The medium carries its installer (the copy made for media, which needs
# only the C library) and the German catalogue (LANG=de_DE.UTF-8 shows the
# dialogue in German).
"$build/mkdist" --installer "$build/medium/install" --catalogue "$demo/catalogues/de.nls" \
  "$demo/demo.manifest" "$demo/staging" "$cdrom"
mkdir -- "$installed"

cat <<TEXT

Sample distribution ready.
  Mount point (first question):    $cdrom
  Installation folder (second):    $installed
Answer the other questions as you like; "?" explains each one.

TEXT
cd -- "$scratch"
exec "$cdrom/install" -load
