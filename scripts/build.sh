#!/usr/bin/env bash
# Configures (once) and builds Bramlotte into a persistent build folder.
#   scripts/build.sh [--sanitize]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
args=()
if [ "${1:-}" = "--sanitize" ]; then
    build="$root/build-sanitize"
    args+=(-DBRAMLOTTE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja "${args[@]}"
fi
cmake --build "$build" -j 2
