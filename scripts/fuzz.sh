#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan + UBSan) and runs
# each for a bounded time, starting from its checked-in seeds.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 15: about a minute)
#
# New inputs go to build/fuzz/corpus/<target>, which persists between runs
# so later runs start from what earlier ones found; the seeds in
# fuzz/corpus/ are only read. A crash, a sanitizer report or a failed check
# stops that target, leaves the input in build/fuzz/artifacts/ and makes the
# script fail once every target has run.
set -euo pipefail

readonly PROG=fuzz
readonly TARGETS=(registry_value command_line folder_check ansi_text)

log() { printf '%s: %s\n' "$PROG" "$*"; }
die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }

seconds=${1:-15}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || die "SECONDS_PER_TARGET must be a positive integer, got '$seconds'"

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

command -v clang++ >/dev/null \
  || die "clang++ not found (Debian: clang; scripts/install-deps.sh build)"
# libFuzzer itself comes with clang's runtime package.
resource_dir=$(clang++ -print-resource-dir)
compgen -G "$resource_dir/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null \
  || die "libFuzzer runtime not found under $resource_dir (Debian: libclang-rt-14-dev; scripts/install-deps.sh checks)"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=$root/build/fuzz
mkdir -p "$build/artifacts"
failed=()
for target in "${TARGETS[@]}"; do
  binary=$build/fuzz/${target}_fuzzer
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log "$target: ${seconds}s"
  status=0
  # -print_final_stats reports the executions made; a leak or an input
  # slower than 10 s counts as a failure too.
  "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" \
      "$corpus" "$root/fuzz/corpus/$target" >"$build/$target.log" 2>&1 \
    || status=$?
  grep -E '^stat::number_of_executed_units|^Done ' "$build/$target.log" \
    | sed "s/^/$PROG: $target: /" || true
  if ((status != 0)); then
    grep -E 'check failed|reported:|ERROR:|SUMMARY:|Test unit written' \
      "$build/$target.log" | sed "s/^/$PROG: $target: /" >&2 || true
    log "$target FAILED (exit $status; full log: $build/$target.log)"
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  die "failing targets: ${failed[*]}"
fi
log "all targets ran clean"
