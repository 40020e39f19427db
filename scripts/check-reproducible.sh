#!/usr/bin/env bash
# Builds the current sources twice and checks that both builds give the same
# molk2014.exe, byte for byte, with no trace of where or when it was built.
#
#   scripts/check-reproducible.sh [--preset win32|win32-clang] [--compare EXE] [--keep]
#
# The two builds run in two fresh copies of the tree (the files git tracks or
# would track, as they are in the working tree now, so uncommitted changes
# count), in folders with different paths and path lengths, one after the
# other, with different time zones, locales, umasks and job counts. Both get
# the same SOURCE_DATE_EPOCH, the time of the HEAD commit, for any tool that
# wants a date. The script then
#   * compares the SHA-256 of the two exes (on a difference it shows where in
#     the file the bytes differ);
#   * checks each with tests/release/release_pe.py: no time stamp in the PE
#     headers or directories, no build path of either copy (or of this tree)
#     as 8-bit or UTF-16 text, no signature;
#   * with --compare EXE, also requires EXE (e.g. this tree's own
#     dist/molk2014.exe) to have the same hash.
# Ends with "reproducible: <sha256>" and exit status 0, or names what failed
# and exits 1.  --keep leaves the copies in place for a closer look.
set -euo pipefail

readonly PROG=check-reproducible
log() { printf '%s: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }

preset=win32
compare=
keep=0
while (($#)); do
  case $1 in
    --preset) preset=${2:?--preset needs a name}; shift 2 ;;
    --compare) compare=${2:?--compare needs a file}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) die "unknown argument '$1' (see --help)" ;;
  esac
done
case $preset in win32|win32-clang) ;; *) die "unknown preset '$preset'" ;; esac
[[ -z $compare || -f $compare ]] || die "no such file: $compare"

root=$(cd "$(dirname "$0")/.." && pwd)
readonly PYTHON=/usr/bin/python3  # Debian's, with python3-pefile
for tool in git cmake ninja sha256sum "$PYTHON"; do
  command -v "$tool" >/dev/null || die "$tool not found (scripts/install-deps.sh build)"
done

SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD) \
  || die "cannot read the HEAD commit's time"
export SOURCE_DATE_EPOCH

tmp=$(mktemp -d "${TMPDIR:-/tmp}/molk-repro.XXXXXX")
cleanup() {
  if ((keep)); then log "copies kept in $tmp"; else rm -rf -- "$tmp"; fi
}
trap cleanup EXIT

# The two copies: different depths and name lengths, so any path that leaks
# into the exe changes its bytes (and its length) between the builds.
tree_a=$tmp/a
tree_b=$tmp/second-copy-in-a-much-longer-folder-name/molk2014-src

copy_sources() {  # destination
  mkdir -p "$1"
  git -C "$root" ls-files -z --cached --others --exclude-standard \
    | (cd "$root" && while IFS= read -r -d '' f; do
         # A tracked file deleted in the working tree is not part of it.
         [[ -e $f || -L $f ]] && printf '%s\0' "$f"
       done) \
    | (cd "$root" && xargs -0 -r cp -P --parents -t "$1")
}

build_copy() {  # tree, then the environment to build in
  local tree=$1 t0=$SECONDS
  shift
  (
    cd "$tree"
    env "$@" cmake --preset "$preset" -DBUILD_TESTING=OFF >"$tree.configure.log" 2>&1 \
      || { tail -n 30 "$tree.configure.log" >&2; exit 1; }
    env "$@" cmake --build --preset "$preset" --target molk2014 ${jobs:+-j "$jobs"} \
      >"$tree.build.log" 2>&1 \
      || { tail -n 30 "$tree.build.log" >&2; exit 1; }
  ) || die "build in $tree failed (logs: $tree.configure.log, $tree.build.log; --keep keeps them)"
  log "built in $tree ($((SECONDS - t0)) s)"
}

# The exe of a built copy: MOLK_DIST_DIR from its cache.
exe_of() {  # tree
  local dist
  dist=$(sed -n 's/^MOLK_DIST_DIR:PATH=//p' "$1/build/$preset/CMakeCache.txt")
  [[ -n $dist && -f $dist/molk2014.exe ]] || die "no molk2014.exe built in $1"
  printf '%s\n' "$dist/molk2014.exe"
}

log "preset $preset, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC'))"
copy_sources "$tree_a"
copy_sources "$tree_b"

jobs=
(umask 022; build_copy "$tree_a" TZ=UTC LC_ALL=C.UTF-8)
# At least one second later, so a link time stamp would differ.
sleep 1
jobs=1
(umask 077; build_copy "$tree_b" TZ=Pacific/Kiritimati LC_ALL=C LANG=)

exe_a=$(exe_of "$tree_a")
exe_b=$(exe_of "$tree_b")
hash_a=$(sha256sum "$exe_a" | cut -d' ' -f1)
hash_b=$(sha256sum "$exe_b" | cut -d' ' -f1)
log "first build:  $hash_a  $(stat -c %s "$exe_a") bytes  $exe_a"
log "second build: $hash_b  $(stat -c %s "$exe_b") bytes  $exe_b"

failed=0
if [[ $hash_a != "$hash_b" ]]; then
  log "FAIL: the two builds differ:"
  "$PYTHON" "$root/tests/release/release_pe.py" "$exe_a" --diff "$exe_b" | sed 's/^/  /'
  failed=1
fi

for exe in "$exe_a" "$exe_b"; do
  "$PYTHON" "$root/tests/release/release_pe.py" "$exe" --unsigned \
      --forbid "$tmp" --forbid "$tree_a" --forbid "$tree_b" --forbid "$root" \
    || failed=1
done

if [[ -n $compare ]]; then
  hash_c=$(sha256sum "$compare" | cut -d' ' -f1)
  if [[ $hash_c == "$hash_a" ]]; then
    log "same as $compare"
  else
    log "FAIL: $compare ($hash_c) differs from a fresh build of the current sources;"
    log "      rebuild it if the sources changed since, else:"
    "$PYTHON" "$root/tests/release/release_pe.py" "$compare" --diff "$exe_a" | sed 's/^/  /'
    failed=1
  fi
fi

((failed == 0)) || die "not reproducible (see above)"
echo "reproducible: $hash_a"
