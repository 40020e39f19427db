#!/usr/bin/env bash
# Static checks of the launcher's sources, all of which must come out clean:
#
#   clang-tidy   .clang-tidy's checks over launcher/, platform/ and fuzz/:
#                the portable code through the host build's compile database,
#                the Win32-only files (WIN32_ONLY below)
#                through a small database for clang as an i686-w64-mingw32
#                compiler, the fuzz targets through the fuzz build's database
#   cppcheck     warning, style, performance and portability over launcher/,
#                platform/ and fuzz/, the Win32-only files as Win32 code
#   clang-format the repository's .clang-format, nothing to change
#
#   scripts/static-checks.sh
#
# Installs nothing itself: when a tool is missing it runs
# `scripts/install-deps.sh checks` if that script is there, else it names
# the packages to install.
set -uo pipefail

readonly PROG=static-checks

log() { printf '%s: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || die "cannot enter $root"

# --- tools -------------------------------------------------------------------

readonly MINGW_CXX=i686-w64-mingw32-g++-win32
# tool:Debian package
readonly TOOLS=(clang-tidy:clang-tidy cppcheck:cppcheck
                clang-format:clang-format clang++:clang
                "$MINGW_CXX:g++-mingw-w64-i686-win32" cmake:cmake)

missing_tools() {
  local entry
  for entry in "${TOOLS[@]}"; do
    command -v "${entry%%:*}" >/dev/null || printf '%s\n' "${entry#*:}"
  done
}

missing=$(missing_tools)
if [[ -n $missing && -x $root/scripts/install-deps.sh ]]; then
  log "missing tools; running scripts/install-deps.sh checks"
  "$root/scripts/install-deps.sh" checks || die "scripts/install-deps.sh checks failed"
  missing=$(missing_tools)
fi
if [[ -n $missing ]]; then
  die "missing tools; install the Debian packages: $(echo $missing)" \
      "(clang-tidy and cppcheck: scripts/install-deps.sh checks; the others: scripts/install-deps.sh build)"
fi
log "$(clang-tidy --version | grep -o 'LLVM version [0-9.]*'), $(cppcheck --version), $(clang-format --version | grep -o 'version [0-9.]*' | head -1 | sed 's/^/clang-format /')"

failed=()
stage_result() {  # name status
  if (($2 == 0)); then log "$1: clean"; else log "$1: FINDINGS"; failed+=("$1"); fi
}

# The files that only the Windows build compiles.
readonly WIN32_ONLY=(platform/entry_point.cc platform/freestanding.cc
  platform/process_heap_win32.cc platform/system_library.cc
  platform/win32_platform.cc platform/win_main.cc)
is_win32_only() {  # file
  local only
  for only in "${WIN32_ONLY[@]}"; do [[ $1 == "$only" ]] && return 0; done
  return 1
}

# --- compile databases ---------------------------------------------------------

# The host and fuzz presets write their databases at configure time; configure
# one only when its database is not there yet.
ensure_database() {  # preset
  [[ -f $root/build/$1/compile_commands.json ]] && return 0
  log "configuring the $1 preset for its compile database"
  cmake --preset "$1" >"$root/build/$PROG-$1-configure.log" 2>&1 \
    || die "cmake --preset $1 failed (log: build/$PROG-$1-configure.log)"
}
mkdir -p "$root/build"
ensure_database host
ensure_database fuzz

# The Win32-only files, as the cross build compiles them but with clang:
# clang does not find Debian's MinGW C++ headers (their folder is named
# 12-win32, not 12) by itself, so take the search path from the MinGW g++.
win32_db=$root/build/$PROG-win32
mkdir -p "$win32_db"
mapfile -t mingw_cxx_dirs < <("$MINGW_CXX" -E -x c++ -v /dev/null 2>&1 \
  | sed -n '/^#include <...> search starts here:/,/^End of search list./p' \
  | sed -n 's/^ \(.*\/include\/c++.*\)$/\1/p' | xargs -n1 realpath)
((${#mingw_cxx_dirs[@]})) || die "cannot read the C++ header folders of $MINGW_CXX"
{
  echo '['
  sep=
  for file in "${WIN32_ONLY[@]}"; do
    args='"clang++", "--target=i686-w64-mingw32", "-std=c++17", "-nostdinc++"'
    for dir in "${mingw_cxx_dirs[@]}"; do args+=", \"-isystem\", \"$dir\""; done
    args+=", \"-I$root\", \"-Wall\", \"-Wextra\", \"-Wpedantic\", \"-Wshadow\""
    args+=", \"-fno-exceptions\", \"-fno-rtti\""
    printf '%s{"directory": "%s", "file": "%s/%s", "arguments": [%s, "-c", "%s/%s"]}\n' \
      "$sep" "$root" "$root" "$file" "$args" "$root" "$file"
    sep=,
  done
  echo ']'
} >"$win32_db/compile_commands.json"

# --- clang-tidy ------------------------------------------------------------------

# Test code (the fake platform, the unit tests, the fuzz targets) also runs
# without these, each noise there:
readonly TEST_CODE_RELAXED=(
  # the handle owners' tests look at the moved-from owner on purpose
  -bugprone-use-after-move
  -clang-analyzer-cplusplus.Move
  # the fake's UTF-8 decoder and Windows-1252 table are one readable piece
  -readability-function-cognitive-complexity
  # the fake's 1252 encoder picks between a char and the literal 0
  -bugprone-narrowing-conversions
  # the fake's handles are opaque values; auto* would spell out HANDLE's type
  -readability-qualified-auto
)
relaxed_checks=$(IFS=,; echo "${TEST_CODE_RELAXED[*]}")

tidy_log=$root/build/$PROG-clang-tidy.log
: >"$tidy_log"
run_tidy() {  # database extra-checks files...
  local db=$1 extra=$2
  shift 2
  local args=(-p "$db" --quiet "--header-filter=^$root/(launcher|platform|fuzz)/")
  [[ -n $extra ]] && args+=("--checks=$extra")
  printf '%s\n' "$@" | xargs -P "$(nproc)" -n 1 \
    clang-tidy "${args[@]}" >>"$tidy_log" 2>&1
}

shopt -s nullglob
production=() tests=()
for file in launcher/*.cc platform/*.cc; do
  if is_win32_only "$file"; then continue; fi
  case $file in
    *_test.cc | platform/fake_platform.cc) tests+=("$file") ;;
    *) production+=("$file") ;;
  esac
done
fuzz_sources=(fuzz/*.cc)
shopt -u nullglob

status=0
log "clang-tidy: ${#production[@]} portable, ${#WIN32_ONLY[@]} Win32, ${#tests[@]} test, ${#fuzz_sources[@]} fuzz sources"
run_tidy "$root/build/host" "" "${production[@]}" || status=1
# freestanding.cc defines memset and its kin, which the MinGW string.h
# declares with parameter names reserved to the implementation.
run_tidy "$win32_db" "-readability-inconsistent-declaration-parameter-name" \
  platform/freestanding.cc || status=1
win32_rest=()
for file in "${WIN32_ONLY[@]}"; do
  [[ $file == platform/freestanding.cc ]] || win32_rest+=("$file")
done
run_tidy "$win32_db" "" "${win32_rest[@]}" || status=1
run_tidy "$root/build/host" "$relaxed_checks" "${tests[@]}" || status=1
run_tidy "$root/build/fuzz" "$relaxed_checks" "${fuzz_sources[@]}" || status=1
# clang-tidy prints "N warnings generated" for what it filtered out of
# system headers; only diagnostics with a location count.
if grep -qE ': (warning|error): ' "$tidy_log"; then status=1; fi
grep -E ': (warning|error): ' "$tidy_log" | sort -u
stage_result clang-tidy "$status"

# --- cppcheck ---------------------------------------------------------------------

readonly CPPCHECK_COMMON=(
  --std=c++17 --language=c++ -I . --quiet --error-exitcode=1
  --enable=warning,style,performance,portability
  # MB_ICONERROR | MB_OK: MB_OK is 0, named so the box's buttons are stated
  "--suppress=badBitmaskCheck:launcher/*"
  # NativeHandle is an opaque HANDLE; a pointer to const is no handle type
  "--suppress=constParameter:platform/unique_handles.h"
  # an allocator's rebinding copy must be implicit
  "--suppress=noExplicitConstructor:platform/process_heap.h"
)
status=0
portable=()
for file in launcher/*.cc platform/*.cc fuzz/*.cc; do
  is_win32_only "$file" || portable+=("$file")
done
# The portable code as the host builds it: off Windows, with GoogleTest.
cppcheck "${CPPCHECK_COMMON[@]}" -U_WIN32 --library=googletest \
  "${portable[@]}" || status=1
# The Win32-only files against cppcheck's model of the Windows API.
cppcheck "${CPPCHECK_COMMON[@]}" -D_WIN32 --platform=win32A --library=windows \
  "${WIN32_ONLY[@]}" || status=1
stage_result cppcheck "$status"

# --- clang-format -----------------------------------------------------------------

status=0
clang-format --dry-run --Werror launcher/*.cc launcher/*.h platform/*.cc \
  platform/*.h fuzz/*.cc fuzz/*.h || status=1
stage_result clang-format "$status"

if ((${#failed[@]})); then
  die "findings from: ${failed[*]}"
fi
log "all clean"
