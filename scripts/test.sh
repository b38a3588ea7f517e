#!/usr/bin/env bash
# Installs what is missing, checks formatting, then builds and runs every test
# suite under each preset (warnings are errors in all of them).
# Usage: scripts/test.sh [preset ...]   (default: default asan tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-format.sh
presets=("$@")
if ((${#presets[@]} == 0)); then presets=(default asan tsan); fi
for preset in "${presets[@]}"; do
  echo "=== preset: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
