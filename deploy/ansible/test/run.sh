#!/usr/bin/env bash
# Installs the sample product, from a signed medium, on three hosts of this
# machine through the Ansible role (beta with answers by name), one of which
# cannot be written: that
# host fails with status 2 and the others load; then the two verify and
# remove with their receipts. Last, the medium's own installer: refused
# where its checksum is not the listed one, run where it is.
#   bash deploy/ansible/test/run.sh BUILD_DIR      (as root: it mounts)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ansibletest.XXXXXX")
readonly_dir=$scratch/gamma/product
cleanup() {
  umount "$readonly_dir" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "ansible test: $*" >&2; exit 1; }

"$build/mkdist" --keygen "$scratch/k" >/dev/null
"$build/mkdist" --sign "$scratch/k.key" --installer "$build/medium/install" \
  "$repo/demo/demo.manifest" "$repo/demo/staging" "$scratch/cdrom" >/dev/null
mkdir "$scratch/host"
cp "$build/medium/install" "$scratch/host/install"
# The answers as an operator recorded them: the medium, Enter for the
# installation directory (the one the installer starts in), the defaults of
# the three categories, the confirmation and "List file names?".
printf '%s\n\n\n\n\n\n\n' "$scratch/cdrom" >"$scratch/answers.txt"
# The same answers by name, recorded once by a load elsewhere: beta's.
mkdir "$scratch/record"
(cd "$scratch/record" && ZULKEYS="$scratch/k.pub" ZULRESPONSES="$scratch/responses.txt" \
  "$build/medium/install" -load \
  <"$scratch/answers.txt" >/dev/null)
rm -rf "$scratch/record"
mkdir -p "$scratch"/{alpha,beta,gamma}/product
chmod 0750 "$scratch/alpha/product"  # an existing directory keeps its mode
mount --bind "$readonly_dir" "$readonly_dir"
mount -o remount,bind,ro "$readonly_dir"

playbook() {
  local action=$1; shift
  ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$scratch/.ansible" ANSIBLE_REMOTE_TEMP="$scratch/.ansible" \
    ansible-playbook -i "$here/inventory.yml" "$here/../site.yml" \
    -e "scratch=$scratch" -e "medium_install_action=$action" "$@"
}
# "host : ok=N changed=N unreachable=N failed=N" from the recap.
expect_recap() {
  local log=$1 host=$2 failed=$3
  grep -Eq "^$host +: .* failed=$failed " "$log" || fail "$host: expected failed=$failed (see $log)"
}

set +e
playbook load >"$scratch/load.log" 2>&1
status=$?
set -e
cat "$scratch/load.log"
[ "$status" -ne 0 ] || fail "the load succeeded on every host"
expect_recap "$scratch/load.log" alpha 0
expect_recap "$scratch/load.log" beta 0
expect_recap "$scratch/load.log" gamma 1
grep -q 'install -load ended with status 2: install: refused at' "$scratch/load.log" ||
  fail "gamma did not fail with status 2 and the refusal"
for host in alpha beta; do
  [ -x "$scratch/$host/product/bin/demo-hello" ] || fail "$host: nothing loaded"
  [ -f "$scratch/$host/product.receipt.toc" ] || fail "$host: no receipt"
done
[ -z "$(ls -A "$readonly_dir")" ] || fail "gamma: something was unpacked"
[ "$(stat -c %a "$scratch/alpha/product")" = 750 ] || fail "alpha: the directory's mode changed"

# Loaded already, by the same answers, and still whole: nothing to do, and
# a local edit stays. Check mode runs the dry run and finds nothing to do.
echo "local = 1" >>"$scratch/alpha/product/etc/demo.conf"
for mode in "" --check; do
  playbook load --limit alpha,beta $mode >"$scratch/again.log" 2>&1 ||
    { cat "$scratch/again.log"; fail "load again $mode"; }
  cat "$scratch/again.log"
  for host in alpha beta; do
    grep -Eq "^$host +: .* changed=0 .* failed=0 " "$scratch/again.log" ||
      fail "$host: load again $mode changed something"
  done
done
grep -q "local = 1" "$scratch/alpha/product/etc/demo.conf" || fail "alpha: the local edit was lost"

playbook verify --limit alpha,beta >"$scratch/verify.log" 2>&1 || { cat "$scratch/verify.log"; fail "verify"; }
cat "$scratch/verify.log"
# Check mode: the removal's dry run, which would change both hosts and
# changes nothing.
playbook remove --limit alpha,beta --check >"$scratch/check.log" 2>&1 ||
  { cat "$scratch/check.log"; fail "remove --check"; }
cat "$scratch/check.log"
grep -Eq "^alpha +: .* changed=1 " "$scratch/check.log" || fail "remove --check: no change foreseen"
[ -x "$scratch/alpha/product/lib/demo/README" ] || [ -f "$scratch/alpha/product/lib/demo/README" ] ||
  fail "remove --check removed something"
playbook remove --limit alpha,beta >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log"; fail "remove"; }
cat "$scratch/remove.log"
for host in alpha beta; do
  [ ! -e "$scratch/$host/product/doc/guide" ] || fail "$host: the user guide is still there"
  [ -x "$scratch/$host/product/bin/demo-hello" ] || fail "$host: the required runtime went"
  [ ! -e "$scratch/$host/product.receipt.toc" ] || fail "$host: the receipt stayed"
done
# Nothing left to verify: a failure that says why.
set +e
playbook verify --limit alpha >"$scratch/after.log" 2>&1
status=$?
set -e
cat "$scratch/after.log"
[ "$status" -ne 0 ] && grep -q "no receipt at .*: nothing to verify" "$scratch/after.log" ||
  fail "verify after the removal did not say there is no receipt"

# The medium's copy of the installer, changed: the host fails before it runs.
cp -a "$scratch/cdrom" "$scratch/changed"
printf 'x' >>"$scratch/changed/install"
from_medium=(-e medium_install_from_medium=true -e "medium_install_medium_key=$scratch/k.pub")
set +e
playbook load --limit alpha "${from_medium[@]}" -e "medium_install_medium=$scratch/changed" \
  >"$scratch/changed.log" 2>&1
status=$?
set -e
cat "$scratch/changed.log"
[ "$status" -ne 0 ] && grep -q "changed/install is not the installer SHA256SUMS lists" "$scratch/changed.log" ||
  fail "the medium's changed installer was not refused"
rm -rf "$scratch/alpha/product" && mkdir "$scratch/alpha/product"
playbook load --limit alpha "${from_medium[@]}" >"$scratch/medium.log" 2>&1 ||
  { cat "$scratch/medium.log"; fail "the medium's checked installer did not load"; }
[ -x "$scratch/alpha/product/bin/demo-hello" ] || fail "alpha: the medium's installer loaded nothing"
echo "ansible test: gamma failed with status 2; alpha and beta loaded, loaded again without a" \
  "change (also in check mode), verified, removed (after a check) with their receipts;" \
  "the medium's installer refused when changed and run when checked"
