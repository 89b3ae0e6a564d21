#!/usr/bin/env bash
# Measures the installer against the plain tools doing the same work, on
# inputs built here with mkdist. See bench/README.md.
#
#   bench/run.sh [--quick] [--rounds N] [--build DIR]
#
# --quick     small inputs and one round, to check that the script works
# --rounds N  timed rounds per scenario (default 7, three times as many for
#             the scenarios that take under a second; each round runs the
#             installer, then the plain tool)
# --build DIR use the install and mkdist programs already built in DIR;
#             without it an optimised build (RelWithDebInfo)
#             is made in build-bench/
# --only LIST run only these scenarios (comma-separated: load1, load2, load,
#             jobs1, jobs2, gzip, half, big, receipt, signed, progress, verify, sizes,
#             remove,
#             dirs, dirs_landlock, dirs_off, alternating,
#             walk, discovery)
# --keep      keep the inputs (for a profiler) and say where they are
# --before DIR  also run the installer built in DIR in every round, right
#             after this one (before and after alternate), and add a table
#             of the two builds' times and their ratio
#
# Everything is made in a directory under $TMPDIR (else /tmp) that is
# removed at the end. Prints a Markdown table on standard output.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUICK=0
ROUNDS=""
BUILD=""
ONLY=""
KEEP=0
BEFORE=""
while (($#)); do
  case $1 in
    --quick) QUICK=1 ;;
    --rounds) ROUNDS=$2; shift ;;
    --build) BUILD=$2; shift ;;
    --only) ONLY=$2; shift ;;
    --keep) KEEP=1 ;;
    --before) BEFORE=$(cd "$2" && pwd)/install; shift ;;
    -h|--help) sed -n '2,23p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

log() { echo "bench: $*" >&2; }
die() { echo "bench: $*" >&2; exit 1; }

# Sizes. Full scale is what the targets are stated for.
if ((QUICK)); then
  : "${ROUNDS:=1}"
  SMALL_DIRS=10 SMALL_PER_DIR=50        # 4 x 500 files
  BIG_FILES=10 BIG_SIZE=1048576 ALT_RUNS=20
  WALK_PACKAGES=2 WALK_FILES=20         # 99 x 2 x 22 lines
  DISC_OUTER=10 DISC_INNER=49           # 500 directories
else
  : "${ROUNDS:=7}"
  SMALL_DIRS=250 SMALL_PER_DIR=100      # 4 x 25,000 files
  BIG_FILES=200 BIG_SIZE=1048576 ALT_RUNS=1000
  WALK_PACKAGES=10 WALK_FILES=1008      # 1 + 99 + 990 x 1010 = 1,000,000 lines
  DISC_OUTER=100 DISC_INNER=499         # 100 + 49,900 = 50,000 directories
fi
SMALL_FILES=$((4 * SMALL_DIRS * SMALL_PER_DIR))

# --- Programs ---------------------------------------------------------------
if [[ -z $BUILD ]]; then
  BUILD=$REPO/build-bench
  # Not Ninja: the program's name, install, is also the name of CMake's
  # install target, which Ninja refuses.
  log "building RelWithDebInfo (-O2 -g) into $BUILD"
  cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DINSTALL_TESTS=OFF >&2
  cmake --build "$BUILD" -j "$(nproc)" >&2
fi
BUILD=$(cd "$BUILD" && pwd)
INSTALL=$BUILD/install
MKDIST=$BUILD/mkdist
[[ -x $INSTALL && -x $MKDIST ]] || die "no install and mkdist in $BUILD"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/installbench.XXXXXX")
if ((KEEP)); then
  trap 'log "inputs kept in $WORK"' EXIT
else
  trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK/bin" "$WORK/runtmp" "$WORK/log"
for helper in benchrun statloop mktree; do
  c++ -std=c++20 -O2 -o "$WORK/bin/$helper" "$REPO/bench/helpers/$helper.cpp"
done
BENCHRUN=$WORK/bin/benchrun
STATLOOP=$WORK/bin/statloop
MKTREE=$WORK/bin/mktree

# English without a catalogue search, and the installer's working files in a
# private directory that must be empty after every run.
unset LANG LC_ALL LANGUAGE ZULPWD
export TMPDIR=$WORK/runtmp

wanted() { [[ -z $ONLY || ",$ONLY," == *",$1,"* ]]; }

# Entry paths of a table of contents (every line but the header and the
# category titles), one a line.
entry_paths() { tail -n +2 "$1" | awk 'substr($0, 4, 1) != "*" { print substr($0, 81) }'; }

# The list of names that the installer hands tar for archive code $2 of the
# table of contents $1 (every entry of that code, or of the packages in $3,
# a space-separated list of "Part N, ..." descriptions), without a name that
# lies below one already given (tar would fail on it): one NUL-ended name
# each, as tar's --files-from reads it with --null.
name_list() {
  awk -v code="$2" -v parts="${3:-}" '
    NR == 1 || substr($0, 4, 1) == "*" || substr($0, 66, 2) != code { next }
    parts != "" && index(parts, "|" substr($0, 8, 54) "|") == 0 { next }
    {
      path = substr($0, 81); covered = (path in given)
      for (i = 1; i <= length(path) && !covered; i++)
        if (substr(path, i, 1) == "/" && (substr(path, 1, i - 1) in given)) covered = 1
      if (!covered) { given[path] = 1; printf "%s%c", path, 0 }
    }' "$1"
}

# --- Inputs -------------------------------------------------------------------

# 100,000 small files in four packages, one archive each.
make_small() {
  local dir=$WORK/small
  mkdir -p "$dir/staging"
  {
    echo "heading Small files"
    echo "category all Small files"
    for p in 1 2 3 4; do
      "$MKTREE" files "$dir/staging/p$p" "$SMALL_DIRS" "$SMALL_PER_DIR" 100
      echo "package optional 0$p Part $p"
      echo "path p$p"
    done
  } >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/plain" >&2
  "$MKDIST" --compress 0 "$dir/manifest" "$dir/staging" "$dir/gzip" >&2
  if wanted signed; then
    "$MKDIST" --keygen "$WORK/key" >&2
    "$MKDIST" --sign "$WORK/key.key" "$dir/manifest" "$dir/staging" "$dir/signed" >&2
  fi
}

# The same number of files in eight packages, two to an archive; a load that
# chooses one package of each archive extracts half of every archive.
make_half() {
  local dir=$WORK/half p
  mkdir -p "$dir/staging"
  {
    echo "heading Half of every archive"
    echo "category all Small files"
    for p in 1 2 3 4; do
      "$MKTREE" files "$dir/staging/p${p}a" "$((SMALL_DIRS / 2))" "$SMALL_PER_DIR" 100
      "$MKTREE" files "$dir/staging/p${p}b" "$((SMALL_DIRS / 2))" "$SMALL_PER_DIR" 100
      echo "package optional 0$p Part $p, first half"
      echo "path p${p}a"
      echo "package optional 0$p Part $p, second half"
      echo "path p${p}b"
    done
  } >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/plain" >&2
}

# As many files in SMALL_DIRS * 4 directories, each its own path line of one
# package: a removal of as many directory lines, none inside another.
make_dirs() {
  local dir=$WORK/dirs d
  mkdir -p "$dir/staging"
  "$MKTREE" files "$dir/staging/t" "$((SMALL_DIRS * 4))" "$SMALL_PER_DIR" 100
  {
    printf 'heading Many directories\ncategory all Directories\npackage optional 01 Dirs\n'
    for d in "$dir"/staging/t/*; do echo "path t/${d##*/}"; done
  } >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/plain" >&2
}

# ALT_RUNS packages of 5 files each, their archive codes alternating 01,
# 02, 01, ...: a load of as many runs of lines.
make_alternating() {
  local dir=$WORK/alternating i
  mkdir -p "$dir/staging"
  "$MKTREE" files "$dir/staging/t" "$ALT_RUNS" 5 100
  {
    printf 'heading Alternating archives\ncategory all Alternating\n'
    for ((i = 0; i < ALT_RUNS; i++)); do
      printf 'package optional 0%d Part %d\npath t/d%04d\n' $((i % 2 + 1)) "$i" "$i"
    done
  } >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/plain" >&2
}

make_big() {
  local dir=$WORK/big
  mkdir -p "$dir/staging"
  "$MKTREE" files "$dir/staging/big" 1 "$BIG_FILES" "$BIG_SIZE"
  printf 'heading Big files\ncategory all Big files\npackage optional 01 Big\npath big\n' \
    >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/plain" >&2
}

# 99 categories, default all, each with WALK_PACKAGES optional packages of a
# directory, a subdirectory and WALK_FILES empty files.
make_walk() {
  local dir=$WORK/walk c p name
  mkdir -p "$dir/staging" "$dir/inst"
  {
    echo "heading Walk over every category"
    for ((c = 1; c <= 99; c++)); do
      printf -v name 'c%02d' "$c"
      mkdir "$dir/staging/$name"
      echo "category all Group $c"
      for ((p = 1; p <= WALK_PACKAGES; p++)); do
        "$MKTREE" files "$dir/staging/$name/p$p" 1 "$WALK_FILES" 0
        echo "package optional 01 Part $p of group $c"
        echo "path $name/p$p"
      done
    done
  } >"$dir/manifest"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/cdrom" >&2
  rm -rf "$dir/staging"
}

# 50,000 directories with three products deep inside.
make_discovery() {
  local dir=$WORK/discovery
  mkdir -p "$dir/staging/bin"
  echo tool >"$dir/staging/bin/tool"
  printf 'heading Product\ncategory all Base\npackage optional 01 Tool\npath bin\n' \
    >"$dir/manifest"
  "$MKTREE" dirs "$dir/mount" "$DISC_OUTER" "$DISC_INNER"
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/mount/a0001/b0002/product" >&2
  "$MKDIST" --name-form 3 "$dir/manifest" "$dir/staging" "$dir/mount/a0005/product" >&2
  "$MKDIST" "$dir/manifest" "$dir/staging" "$dir/mount/a0009/b0040/product" >&2
}

# --- Running ------------------------------------------------------------------

# benchrun's line "SECONDS PEAK_KB STATUS", checked for status 0 (or $EXPECT).
run() {
  local result status
  result=$("$BENCHRUN" "$@")
  status=${result##* }
  [[ $status == "${EXPECT:-0}" ]] || die "status $status from: ${*##*-- } (see $WORK/log)"
  echo "$result"
}

# The installer with `option`, answers from `input`, in `cwd`.
installer() {
  local option=$1 input=$2 cwd=$3 out=${4:-/dev/null}
  run -i "$input" -o "$out" -e "$WORK/log/install.err" -C "$cwd" -- \
    env ${CONFINE:+ZULCONFINE=$CONFINE} ${RECEIPT:+ZULRECEIPT=$RECEIPT} "$INSTALL" "$option"
}

fresh_dir() { rm -rf "$1"; mkdir -p "$1"; }

settle() { sync; }

# Scenario hooks: prep_installer_X and prep_plain_X (untimed), installer_X and
# plain_X (timed, each printing benchrun's line), check_X (after the warm-up).

L_DIST=; L_INST=; L_PLAIN=; L_ARCHIVES=()

prep_load_common() { fresh_dir "$L_INST"; fresh_dir "$L_PLAIN"; settle; }

setup_load() {
  L_DIST=$WORK/small/plain L_INST=$WORK/load/inst L_PLAIN=$WORK/load/plain
  L_ARCHIVES=("$L_DIST"/0?.tar)
  printf '%s\n%s\n\n\n\n' "$L_DIST" "$L_INST" >"$WORK/load.in"
  for a in "${L_ARCHIVES[@]}"; do name_list "$L_DIST/01.toc" "$(basename "${a%.tar}")" >"${a%.tar}.names"; done
}
prep_installer_load() { prep_load_common; }
prep_plain_load() { prep_load_common; }
installer_load() { installer -load "$WORK/load.in" "$L_INST" "${1:-}"; }
plain_load() {
  run -C "$L_PLAIN" -- bash -c 'for a; do /bin/tar xf "$a" || exit 1; done' _ "${L_ARCHIVES[@]}"
}
list_load() {
  run -C "$L_PLAIN" -- bash -c \
    'for a; do /bin/tar xf "$a" --verbatim-files-from --null --files-from="${a%.tar}.names" || exit 1; done' \
    _ "${L_ARCHIVES[@]}"
}
check_load() {
  local got
  got=$(find "$L_INST" -type f | wc -l)
  ((got == SMALL_FILES)) || die "load gave $got files, not $SMALL_FILES"
}

# The first N archives (packages 1 to N chosen), and all four with ZULJOBS
# set: how the ratio goes with the archives and the extractions side by side.
setup_some() {
  local n=$1
  setup_load
  L_ARCHIVES=("${L_ARCHIVES[@]:0:n}")
  printf '%s\n%s\n%s\n\n\n' "$L_DIST" "$L_INST" "$(seq -s ' ' 1 "$n")" >"$WORK/load$n.in"
}
check_some() {
  local got want=$((SMALL_FILES * $1 / 4))
  got=$(find "$L_INST" -type f | wc -l)
  ((got == want)) || die "load gave $got files, not $want"
}
for n in 1 2; do
  eval "setup_load$n() { setup_some $n; }
    prep_installer_load$n() { prep_load_common; }
    prep_plain_load$n() { prep_load_common; }
    installer_load$n() { installer -load \"\$WORK/load$n.in\" \"\$L_INST\" \"\${1:-}\"; }
    plain_load$n() { plain_load; }
    check_load$n() { check_some $n; }"
done
for j in 1 2; do
  eval "setup_jobs$j() { setup_load; }
    prep_installer_jobs$j() { prep_load_common; }
    prep_plain_jobs$j() { prep_load_common; }
    installer_jobs$j() {
      run -i \"\$WORK/load.in\" -o \"\${1:-/dev/null}\" -e \"\$WORK/log/install.err\" -C \"\$L_INST\" -- \\
        env ZULJOBS=$j \"\$INSTALL\" -load
    }
    plain_jobs$j() { plain_load; }
    check_jobs$j() { check_load; }"
done

setup_gzip() {
  L_DIST=$WORK/small/gzip L_INST=$WORK/load/inst L_PLAIN=$WORK/load/plain
  L_ARCHIVES=("$L_DIST"/0?tar.z)
  printf '%s\n%s\n\n\n\n' "$L_DIST" "$L_INST" >"$WORK/gzip.in"
  for a in "${L_ARCHIVES[@]}"; do name_list "$L_DIST/01.toc" "$(basename "${a%tar.z}")" >"${a%tar.z}.names"; done
}
prep_installer_gzip() { prep_load_common; }
prep_plain_gzip() { prep_load_common; }
installer_gzip() { installer -load "$WORK/gzip.in" "$L_INST" "${1:-}"; }
plain_gzip() {
  run -C "$L_PLAIN" -- bash -c \
    'set -o pipefail; for a; do gunzip -c "$a" | /bin/tar xf - || exit 1; done' _ "${L_ARCHIVES[@]}"
}
list_gzip() {
  run -C "$L_PLAIN" -- bash -c 'set -o pipefail; for a; do gunzip -c "$a" |
    /bin/tar xf - --verbatim-files-from --null --files-from="${a%tar.z}.names" || exit 1; done' \
    _ "${L_ARCHIVES[@]}"
}
check_gzip() { check_load; }

setup_big() {
  L_DIST=$WORK/big/plain L_INST=$WORK/load/inst L_PLAIN=$WORK/load/plain
  printf '%s\n%s\n\n\n\n' "$L_DIST" "$L_INST" >"$WORK/big.in"
  name_list "$L_DIST/01.toc" 01 >"$L_DIST/01.names"
}

# Half of every archive: the first package of each; the plain tool extracts
# the archives whole (target) and with the installer's list of names.
setup_half() {
  L_DIST=$WORK/half/plain L_INST=$WORK/load/inst L_PLAIN=$WORK/load/plain
  L_ARCHIVES=("$L_DIST"/0?.tar)
  printf '%s\n%s\n1 3 5 7\n\n\n' "$L_DIST" "$L_INST" >"$WORK/half.in"
  local parts="|" p
  for p in 1 2 3 4; do parts+="$(printf '%-54.54s' "Part $p, first half")|"; done
  for a in "${L_ARCHIVES[@]}"; do
    name_list "$L_DIST/01.toc" "$(basename "${a%.tar}")" "$parts" >"${a%.tar}.names"
  done
}
prep_installer_half() { prep_load_common; }
prep_plain_half() { prep_load_common; }
installer_half() { installer -load "$WORK/half.in" "$L_INST" "${1:-}"; }
plain_half() { plain_load; }
list_half() { list_load; }
check_half() {
  local got
  got=$(find "$L_INST" -type f | wc -l)
  ((got == SMALL_FILES / 2)) || die "half load gave $got files, not $((SMALL_FILES / 2))"
  [[ -z $(find "$L_INST" -path '*b/*' -print -quit) ]] || die "half load took a second half"
}
setup_alternating() {
  L_DIST=$WORK/alternating/plain L_INST=$WORK/load/inst L_PLAIN=$WORK/load/plain
  # The summary of the chosen packages pauses at "More?" every screen;
  # Enter goes on, and an Enter left over is never read.
  { printf '%s\n%s\n\n' "$L_DIST" "$L_INST"; printf '\n%.0s' $(seq $((ALT_RUNS / 10 + 5))); } \
    >"$WORK/alternating.in"
}
prep_installer_alternating() { prep_load_common; }
prep_plain_alternating() { prep_load_common; }
installer_alternating() { installer -load "$WORK/alternating.in" "$L_INST" "${1:-}"; }
plain_alternating() {
  run -C "$L_PLAIN" -- /bin/sh -c '/bin/tar xf "$1" && /bin/tar xf "$2"' tar \
    "$L_DIST/01.tar" "$L_DIST/02.tar"
}
check_alternating() {
  local got
  got=$(find "$L_INST" -type f | wc -l)
  ((got == 5 * ALT_RUNS)) || die "load gave $got files, not $((5 * ALT_RUNS))"
}

prep_installer_big() { prep_load_common; }
prep_plain_big() { prep_load_common; }
installer_big() { installer -load "$WORK/big.in" "$L_INST" "${1:-}"; }
plain_big() { run -C "$L_PLAIN" -- /bin/tar xf "$L_DIST/01.tar"; }
list_big() {
  run -C "$L_PLAIN" -- /bin/tar xf "$L_DIST/01.tar" --verbatim-files-from --null \
    --files-from="$L_DIST/01.names"
}
check_big() {
  local got
  got=$(find "$L_INST" -type f -size "${BIG_SIZE}c" | wc -l)
  ((got == BIG_FILES)) || die "load gave $got files of $BIG_SIZE bytes, not $BIG_FILES"
}

V_INST=; V_MISSING=0
setup_verify() {
  V_INST=$WORK/verify/inst
  fresh_dir "$V_INST"
  (cd "$V_INST" && for a in "$WORK"/small/plain/0?.tar; do /bin/tar xf "$a"; done)
  entry_paths "$WORK/small/plain/01.toc" >"$WORK/verify.list"
  # Every 100th file goes missing.
  tail -n +2 "$WORK/small/plain/01.toc" | awk 'substr($0, 4, 1) == "F" { print substr($0, 81) }' |
    awk 'NR % 100 == 0' >"$WORK/verify.missing"
  (cd "$V_INST" && xargs rm -f <"$WORK/verify.missing")
  V_MISSING=$(wc -l <"$WORK/verify.missing")
  printf '%s\n%s\n\n\n' "$WORK/small/plain" "$V_INST" >"$WORK/verify.in"
  settle
}
prep_installer_verify() { :; }
prep_plain_verify() { :; }
installer_verify() { installer -verify "$WORK/verify.in" "$V_INST" "${1:-}"; }
plain_verify() { run -C "$V_INST" -- "$STATLOOP" "$WORK/verify.list"; }
check_verify() {
  grep -q "^Number of missing files: $V_MISSING\$" "$WORK/log/check.out" ||
    die "verification did not report $V_MISSING missing files"
}

# The size check of verification against verification without it.
setup_sizes() { setup_verify; }
prep_installer_sizes() { :; }
prep_plain_sizes() { :; }
installer_sizes() {
  run -i "$WORK/verify.in" -o "${1:-/dev/null}" -e "$WORK/log/install.err" -C "$V_INST" -- \
    env ZULVERIFY=size "$INSTALL" -verify
}
plain_sizes() { installer_verify; }
check_sizes() {
  grep -q "^0 files with a different size\$" "$WORK/log/check.out" ||
    die "the size check found sizes that differ"
}

# A load that writes a receipt and the record of what it wrote
# (ZULRECEIPT), against the same load without.
setup_receipt() { setup_load; }
prep_installer_receipt() { prep_load_common; fresh_dir "$WORK/receipt"; }
prep_plain_receipt() { prep_load_common; }
installer_receipt() { RECEIPT=$WORK/receipt/app.toc installer_load; }
plain_receipt() { installer_load; }
check_receipt() { check_load; }

# The same load from a signed medium, its key trusted (ZULKEYS), against the
# medium without the signature.
setup_signed() {
  setup_load
  printf '%s\n%s\n\n\n\n' "$WORK/small/signed" "$L_INST" >"$WORK/signed.in"
}
prep_installer_signed() { prep_load_common; }
prep_plain_signed() { prep_load_common; }
installer_signed() {
  run -i "$WORK/signed.in" -o /dev/null -e "$WORK/log/install.err" -C "$L_INST" -- \
    env ZULTRUST=signed ZULKEYS="$WORK/key.pub" "$INSTALL" -load
}
plain_signed() { installer_load; }
check_signed() { check_load; }

# A load with the progress line on a pseudo-terminal's standard error,
# against the same load with the line turned off; both through script(1).
setup_progress() { setup_load; }
prep_installer_progress() { prep_load_common; }
prep_plain_progress() { prep_load_common; }
on_terminal() {
  run -C "$L_INST" -- script -qec "$INSTALL -load < $WORK/load.in > /dev/null" /dev/null
}
installer_progress() { on_terminal; }
plain_progress() { ZULPROGRESS=off on_terminal; }
check_progress() { check_load; }

# A removal: the archives of R_DIST unpacked into R_INST, then removed by
# the installer or by rm -rf of the top directories R_TOPS.
R_INST= R_DIST= R_TOPS=
setup_removal() {
  R_INST=$WORK/remove/inst
  printf '%s\n%s\n\n\n\n' "$R_DIST" "$R_INST" >"$WORK/remove.in"
}
setup_remove() {
  R_DIST=$WORK/small/plain R_TOPS="p1 p2 p3 p4"
  setup_removal
}
populate_remove() {
  fresh_dir "$R_INST"
  (cd "$R_INST" && for a in "$R_DIST"/0?.tar; do /bin/tar xf "$a"; done)
  settle
}
prep_installer_remove() { populate_remove; }
prep_plain_remove() { populate_remove; }
installer_remove() { installer -remove "$WORK/remove.in" "$R_INST" "${1:-}"; }
# shellcheck disable=SC2086 # the top directories, one word each
plain_remove() { run -C "$R_INST" -- /bin/rm -rf $R_TOPS; }
# Nothing is left but top directories no line names.
check_remove() {
  [[ -z $(find "$R_INST" -mindepth 1 \( ! -type d -o -mindepth 2 \) -print -quit) ]] ||
    die "removal left entries behind"
}
# 1,000 directory lines, in each confinement mode.
for m in "" _landlock _off; do
  eval "setup_dirs$m() { R_DIST=\$WORK/dirs/plain R_TOPS=t; setup_removal; }"
  for hook in prep_installer prep_plain plain check; do eval "${hook}_dirs$m() { ${hook}_remove; }"; done
  eval "installer_dirs$m() { CONFINE=${m#_} installer_remove \"\$@\"; }"
done

W_TOC=
setup_walk() {
  local dir=$WORK/walk prompts
  W_TOC=$dir/cdrom/01.toc
  # A first run without the final answers ends at the confirmation with
  # end of input; its "More?" pauses tell how many Enters the summary takes.
  { printf '%s\n%s\n' "$dir/cdrom" "$dir/inst"; printf '\n%.0s' {1..99}; } >"$WORK/walk.probe"
  EXPECT=1 installer -load "$WORK/walk.probe" "$dir/inst" "$WORK/log/walk.probe.out" >/dev/null
  prompts=$(grep -o 'More? \[yes\]' "$WORK/log/walk.probe.out" | wc -l)
  {
    cat "$WORK/walk.probe"
    for ((i = 0; i < prompts; i++)); do echo; done
    printf 'q\ny\n'
  } >"$WORK/walk.in"
  log "walk: $(wc -l <"$W_TOC") lines, $(stat -c %s "$W_TOC") bytes, $prompts More? pauses"
}
prep_installer_walk() { :; }
prep_plain_walk() { :; }
installer_walk() { installer -load "$WORK/walk.in" "$WORK/walk/inst" "${1:-}"; }
plain_walk() { run -- wc -l "$W_TOC"; }
check_walk() {
  grep -q 'Is this correct? \[yes\] Are you sure you want to quit? \[yes\] $' \
    "$WORK/log/check.out" || die "the walk did not end at the confirmation"
}

setup_discovery() {
  printf '%s\nq\ny\n' "$WORK/discovery/mount" >"$WORK/discovery.in"
}
prep_installer_discovery() { :; }
prep_plain_discovery() { :; }
installer_discovery() { installer -load "$WORK/discovery.in" "$WORK" "${1:-}"; }
plain_discovery() { run -- find "$WORK/discovery/mount" -name 01.toc; }
check_discovery() {
  grep -q '^   3 - ' "$WORK/log/check.out" || die "discovery did not list three products"
}

# Median, minimum and maximum of numbers on standard input.
stats() { sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %s %s\n", m, v[1], v[NR] }'; }

ROWS=()
BEFORE_ROWS=()
# measure NAME LABEL TARGET [MEMORY_TARGET_MB]
measure() {
  local s=$1 label=$2 target=$3 mem_target=${4:-} r i p l ikb line ratios="" itimes="" ptimes="" peak=0
  local lratios="" with_list=0 b btimes="" bratios=""
  declare -F "list_$s" >/dev/null && with_list=1
  local rounds=$ROUNDS
  log "$label"
  "setup_$s"
  # Warm-up: one run of each, the installer's output checked.
  "prep_installer_$s"
  "installer_$s" "$WORK/log/check.out" >/dev/null
  "check_$s"
  "prep_plain_$s"
  line=$("plain_$s")
  # Quick scenarios vary more from run to run: more rounds.
  if ((!QUICK)) && awk -v t="${line%% *}" 'BEGIN { exit !(t < 1) }'; then
    rounds=$((3 * ROUNDS))
  fi
  for ((r = 1; r <= rounds; r++)); do
    "prep_installer_$s"
    line=$("installer_$s")
    read -r i ikb _ <<<"$line"
    if [[ -n $BEFORE ]]; then
      "prep_installer_$s"
      line=$(INSTALL=$BEFORE "installer_$s")
      read -r b _ _ <<<"$line"
      btimes+="$b"$'\n'
      bratios+="$(awk -v a="$i" -v b="$b" 'BEGIN { printf "%.4f", a / b }')"$'\n'
    fi
    "prep_plain_$s"
    line=$("plain_$s")
    read -r p _ _ <<<"$line"
    if ((with_list)); then
      "prep_plain_$s"
      line=$("list_$s")
      read -r l _ _ <<<"$line"
      lratios+="$(awk -v a="$i" -v b="$l" 'BEGIN { printf "%.4f", a / b }')"$'\n'
    fi
    ((ikb > peak)) && peak=$ikb
    ratios+="$(awk -v a="$i" -v b="$p" 'BEGIN { printf "%.4f", a / b }')"$'\n'
    itimes+="$i"$'\n'
    ptimes+="$p"$'\n'
    log "  round $r: installer ${i}s,${BEFORE:+ before ${b}s,} plain ${p}s"
  done
  if [[ -n $BEFORE ]]; then
    local bm bmin bmax btm
    read -r bm bmin bmax < <(printf '%s' "$bratios" | stats)
    read -r btm _ _ < <(printf '%s' "$btimes" | stats)
    BEFORE_ROWS+=("$(printf '| %s | %d | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f |' "$label" \
      "$rounds" "$btm" "$(printf '%s' "$itimes" | stats | cut -d' ' -f1)" \
      "$(printf '%s' "$ptimes" | stats | cut -d' ' -f1)" "$bm" "$bmin" "$bmax")")
  fi
  [[ -z $(ls -A "$TMPDIR") ]] || die "working files left in TMPDIR after $label"
  read -r rm rmin rmax < <(printf '%s' "$ratios" | stats)
  read -r im _ _ < <(printf '%s' "$itimes" | stats)
  read -r pm _ _ < <(printf '%s' "$ptimes" | stats)
  local lm="-"
  ((with_list)) && read -r lm _ _ < <(printf '%s' "$lratios" | stats)
  local verdict
  verdict=$(awk -v r="$rm" -v t="$target" -v m="$peak" -v mt="$mem_target" \
    'BEGIN { ok = r <= t; if (mt != "") ok = ok && m / 1024 <= mt; print ok ? "met" : "missed" }')
  [[ $lm != - ]] && lm=$(printf '%.2f' "$lm")
  ROWS+=("$(printf '| %s | %d | %.3f | %.3f | %.2f | %.2f | %.2f | %s | <= %s%s | %.1f | %s |' \
    "$label" "$rounds" "$im" "$pm" "$rm" "$rmin" "$rmax" "$lm" "$target" "${mem_target:+, <= $mem_target MB}" \
    "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$verdict")")
}

log "making inputs in $WORK"
if wanted load || wanted load1 || wanted load2 || wanted jobs1 || wanted jobs2 || wanted gzip ||
  wanted progress || wanted receipt || wanted signed || wanted verify || wanted sizes || wanted remove; then
  make_small
fi
if wanted big; then make_big; fi
if wanted alternating; then make_alternating; fi
if wanted dirs || wanted dirs_landlock || wanted dirs_off; then make_dirs; fi
if wanted half; then make_half; fi
if wanted walk; then make_walk; fi
if wanted discovery; then make_discovery; fi

wanted load1 && measure load1 "load $((SMALL_FILES / 4)) small files, 1 plain archive vs tar xf whole" 1.10
wanted load2 && measure load2 "load $((SMALL_FILES / 2)) small files, 2 plain archives vs tar xf whole, one after another" 1.10
wanted load && measure load "load $SMALL_FILES small files, 4 plain archives vs tar xf whole, one after another" 0.80
wanted jobs1 && measure jobs1 "the same with ZULJOBS=1 (one batch after another)" 1.10
wanted jobs2 && measure jobs2 "the same with ZULJOBS=2" 0.80
wanted gzip && measure gzip "load the same from gzip archives vs gunzip -c \\| tar xf - whole" 1.10
wanted half && measure half "load half of every archive (4 x 2 packages, one of each chosen) vs tar xf whole" 1.10
wanted big && measure big "load $BIG_FILES files of $((BIG_SIZE / 1048576)) MB vs tar xf" 1.02
wanted alternating && measure alternating "load $((5 * ALT_RUNS)) files of 2 archives in $ALT_RUNS alternating runs of lines vs tar xf of both" 2
wanted receipt && measure receipt "load $SMALL_FILES small files with ZULRECEIPT (the receipt and the record) vs without it" 1.10
wanted signed && measure signed "load $SMALL_FILES small files from a signed medium (ZULTRUST=signed) vs the same unsigned" 1.10
wanted progress && measure progress "load $SMALL_FILES small files with the progress line on a terminal vs without it" 1.01
wanted verify && measure verify "verify $((SMALL_FILES + 4 * SMALL_DIRS + 4)) entries, 1% of files missing vs stat loop" 1.5
wanted sizes && measure sizes "verify with sizes (ZULVERIFY=size) vs verify" 1.2
wanted remove && measure remove "remove the same entries vs rm -rf" 1.5
wanted dirs && measure dirs "remove $SMALL_FILES files in $((SMALL_DIRS * 4)) directory lines vs rm -rf of their top" 1.3
wanted dirs_landlock && measure dirs_landlock "the same with ZULCONFINE=landlock" 1.3
wanted dirs_off && measure dirs_off "the same with ZULCONFINE=off" 1.3
wanted walk && measure walk "walk 99 categories of a $(wc -l <"$WORK/walk/cdrom/01.toc")-line table of contents vs wc -l" 10 32
wanted discovery && measure discovery "product discovery over $((DISC_OUTER * (DISC_INNER + 1))) directories vs find" 1.5

echo
echo "| scenario | rounds | installer s (median) | plain tool s (median) | ratio median | ratio min | ratio max | ratio vs tar with the name list | target | installer peak MB | |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${ROWS[@]}"
if [[ -n $BEFORE ]]; then
  echo
  echo "| scenario | rounds | before s (median) | after s (median) | plain tool s (median) | after / before median | min | max |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${BEFORE_ROWS[@]}"
fi
echo
echo "Each ratio is the installer's time over the plain tool's in the same round, after a warm-up; $(nproc) cores, TMPDIR on $(findmnt -n -o FSTYPE -T "$WORK" 2>/dev/null | head -1 || stat -f -c %T "$WORK"), $(date -u +%Y-%m-%d)."
