#!/usr/bin/env bash
# Installs what is missing, builds dist/molk2014.exe (the shipped 32-bit
# launcher) and runs it once under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build e2e
cmake --preset win32
cmake --build --preset win32
ls -l dist/molk2014.exe
scripts/demo.sh
