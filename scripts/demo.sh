#!/usr/bin/env bash
# Runs dist/molk2014.exe once under Wine, as a user would: from a folder that
# holds the application archive and a shipped runtime in Java\bin\Javaw.exe
# (here the test suite's stand-in runtime, which writes down what it got).
# Prints what the runtime received and the launcher's exit code.
#
#   scripts/demo.sh [BUILD-DIR]     (default build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build/win32}")
prefix=$build/wineprefix

[[ -f dist/molk2014.exe && -f $build/tests/stand_in_runtime.exe ]] ||
  { echo "demo: build first (cmake --build --preset win32)" >&2; exit 1; }

scripts/wine-env.sh setup "$prefix"
eval "$(scripts/wine-env.sh print-env "$prefix")"
scripts/wine-env.sh start "$prefix"
trap 'scripts/wine-env.sh stop "$prefix" || true' EXIT

# C:\demo\Meu App: a folder with a blank, like most real install folders.
app="$WINEPREFIX/drive_c/demo/Meu App"
rm -rf "$WINEPREFIX/drive_c/demo"
mkdir -p "$app/Java/bin"
cp dist/molk2014.exe "$app/"
cp "$build/tests/stand_in_runtime.exe" "$app/Java/bin/Javaw.exe"
: > "$app/molk2014.jar"
report="$WINEPREFIX/drive_c/demo/runtime-report.txt"

echo "demo: running C:\\demo\\Meu App\\molk2014.exe from its folder"
set +e
(cd "$app" && LANG=C.UTF-8 STANDIN_REPORT='C:\demo\runtime-report.txt' \
  STANDIN_EXIT_CODE=0 "$WINE" molk2014.exe >"$build/demo-wine.log" 2>&1)
code=$?
set -e
echo "demo: the launcher exited with code $code"
if [[ -s $report ]]; then
  echo "demo: what the runtime received:"
  sed 's/^/    /' "$report"
else
  echo "demo: the runtime was not started (see $build/demo-wine.log)" >&2
  exit 1
fi
