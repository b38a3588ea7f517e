#!/usr/bin/env bash
# Installs what is missing, checks formatting, then builds and runs every test
# suite under each preset (warnings are errors in all of them). The windows
# preset cross-builds Windows DLLs and runs their tests under Wine. The
# tsafety preset is only built: its check is clang's thread-safety analysis.
# Usage: scripts/test.sh [preset ...]   (default: default asan tsan tsafety windows)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
if ((${#presets[@]} == 0)); then presets=(default asan tsan tsafety windows); fi
setup_options=()
for preset in "${presets[@]}"; do
  if [[ "$preset" == windows ]]; then setup_options=(--windows); fi
done
scripts/setup.sh "${setup_options[@]}"
scripts/check-format.sh
for preset in "${presets[@]}"; do
  echo "=== preset: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [[ "$preset" != tsafety ]]; then ctest --preset "$preset"; fi
done
