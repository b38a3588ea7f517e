#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one Windows program under Wine,
# headless and quiet, in a private Wine prefix that is created on first use.
# Usage: wine-run.sh <wine> <prefix folder> --prepare
#        wine-run.sh <wine> <prefix folder> <program.exe> [arguments...]
set -euo pipefail
wine=$1
prefix=$2
shift 2

export WINEPREFIX="$prefix" WINEDEBUG=-all
# No display: nothing may try to open a window. Without Mono and Gecko the
# prefix is created without asking to download them.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="

if [[ ! -f "$prefix/.kelab-ready" ]]; then
  mkdir -p "$(dirname "$prefix")"
  # Test programs start in parallel; only one of them creates the prefix.
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f "$prefix/.kelab-ready" ]]; then
    if ! "$wine" wineboot --init >"$prefix.log" 2>&1; then
      echo "wine-run.sh: creating the Wine prefix $prefix failed:" >&2
      cat "$prefix.log" >&2
      exit 1
    fi
    touch "$prefix/.kelab-ready"
  fi
  exec 9>&-
fi
if [[ "${1:-}" == "--prepare" ]]; then exit 0; fi

# Windows programs end lines with CR LF; CTest and GoogleTest's test
# discovery read LF. Output goes through files, not CTest's pipes: when this
# program is the one that starts the prefix's wineserver and services, they
# inherit its standard streams and would keep CTest waiting for them to close
# until the last Wine program of the whole run ends.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out" "$err"' EXIT
status=0
"$wine" "$@" >"$out" 2>"$err" </dev/null || status=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
exit "$status"
