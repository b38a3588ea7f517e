#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages.
# Idempotent: packages already present are skipped. Run as root (or with sudo).
# Usage: scripts/setup.sh [--windows]   (--windows adds the mingw-w64 cross compiler and Wine)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libboost1.81-dev libboost-thread1.81-dev libboost-json1.81-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev clang-format clang clang-14 libclang-rt-14-dev
  valgrind
  python3 python3-jsonschema
)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
