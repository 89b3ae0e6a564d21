#!/usr/bin/env bash
# Builds the packages in BUILD_DIR (a release build), lists them, checks the
# .deb with lintian, unpacks it into a scratch root with dpkg -x, and runs the
# packaged mkdist to build the sample medium, whose installer (the packaged
# one) then loads it from recorded answers.
#   bash packaging/test-package.sh BUILD_DIR
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: test-package.sh BUILD_DIR}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/packagetest.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && rm -f ./*.deb ./*.tar.gz && cpack -G "DEB;TGZ" >/dev/null)
deb=$(ls "$build"/*.deb)
tgz=$(ls "$build"/*.tar.gz)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
tar -tzf "$tgz"
# lintian ends with a failure on any error; warnings are printed.
status=0
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$scratch/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian ended with status $status"

root=$scratch/root
dpkg -x "$deb" "$root"
installer=$root/usr/libexec/install/install
# The folder of trusted keys the installer reads by default: there, empty.
[ -d "$root/etc/install/keys" ] && [ -z "$(ls -A "$root/etc/install/keys")" ] ||
  fail "the package has no empty /etc/install/keys"
bash "$repo/packaging/check-installer.sh" "$installer"
version=$(dpkg-deb --field "$deb" Version)
[ "$("$installer" -version)" = "install $version" ] || fail "install -version is not $version"
[ "$("$root/usr/bin/mkdist" --version)" = "mkdist $version" ] || fail "mkdist --version is not $version"
for page in man8/install.8.gz man1/mkdist.1.gz; do
  [ -z "$(zcat "$root/usr/share/man/$page" | groff -ww -z -man 2>&1)" ] || fail "$page: groff warns"
done

# The packaged mkdist takes the packaged installer by itself.
cdrom=$scratch/cdrom
"$root/usr/bin/mkdist" --installer --catalogue "$root/usr/share/install/de.nls" \
  "$repo/demo/demo.manifest" "$repo/demo/staging" "$cdrom" | tee "$scratch/mkdist.log"
grep -qx "mkdist: the medium carries install $version ($installer)" "$scratch/mkdist.log" ||
  fail "mkdist does not name the installer it carries"
cmp "$installer" "$cdrom/install" || fail "the medium does not carry the packaged installer"

# The answers: the medium, Enter for the installation directory (the one the
# installer starts in), the defaults of the three categories, the
# confirmation and "List file names?".
mkdir "$scratch/installed"
printf '%s\n\n\n\n\n\n\n' "$cdrom" >"$scratch/answers.txt"
status=0
(cd "$scratch/installed" && ZULSTRICT=1 "$cdrom/install" -load <"$scratch/answers.txt" >"$scratch/load.log") ||
  status=$?
[ "$status" -eq 0 ] || { cat "$scratch/load.log"; fail "the load ended with status $status"; }
[ -x "$scratch/installed/bin/demo-hello" ] && [ -f "$scratch/installed/doc/guide/01-introduction.txt" ] ||
  fail "the medium's installer loaded nothing"
(cd "$scratch/installed" && ZULSTRICT=1 "$cdrom/install" -verify <"$scratch/answers.txt" >/dev/null) ||
  fail "verification of the load ended with status $?"
echo "package test: $(basename "$deb") ($(stat -c %s "$deb") bytes); the medium's installer" \
  "install $version ($(stat -c %s "$installer") bytes) loaded the sample and verified it"
