#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh [--sanitize]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$@"
build="$root/build"
[ "${1:-}" = "--sanitize" ] && build="$root/build-sanitize"
export QT_QPA_PLATFORM=offscreen
# QGIS keeps some objects until exit; leaks are not what this run looks for.
export ASAN_OPTIONS=detect_leaks=0
ctest --test-dir "$build" --output-on-failure -j 2
