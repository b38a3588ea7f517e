#!/usr/bin/env bash
# Builds the library and runs the kelab demonstration in a scratch documents
# folder (removed afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target kelab >/dev/null
docs=$(mktemp -d)
trap 'rm -rf "$docs"' EXIT
KEL_USER_DOCS_DIR="$docs" build/default/bin/kelab
