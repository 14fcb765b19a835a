#!/usr/bin/env bash
# Installs what is missing, builds, and runs the index build on the demo map.
#   scripts/demo.sh [DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
"$root/build/cli/bramlotte" demo "${1:-bramlotte-demo}"
