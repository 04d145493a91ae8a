#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
#   scripts/install-deps.sh core   compiler, CMake, Ninja, GoogleTest (command-line tool and tests)
#   scripts/install-deps.sh all    also Qt 6 for the desktop application, Xvfb for its real-X test,
#                                  clang's fuzzer runtime, and GNU time for the benchmark
set -euo pipefail

level=${1:-core}
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev)
if [ "$level" = all ]; then
  packages+=(qt6-base-dev libx11-dev libgl-dev xvfb xauth fonts-dejavu-core clang libclang-rt-14-dev time)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "Please install as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
