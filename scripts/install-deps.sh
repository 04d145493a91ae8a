#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
#   scripts/install-deps.sh core   compiler, CMake, Ninja, GoogleTest, nlohmann JSON (the
#                                  command-line tools and their tests)
#   scripts/install-deps.sh all    also Qt 6 (Widgets, Charts, SVG) for the desktop application,
#                                  Xvfb for its real-X test, tshark for the Wireshark export's
#                                  tests, clang's fuzzer runtime, clang-tidy, and GNU time for the
#                                  benchmark
#   scripts/install-deps.sh windows  the MinGW-w64 cross compiler for 64-bit Windows (POSIX
#                                  threads, for std::thread and std::mutex), Wine to run its
#                                  programs, and Python for comparing their outputs
set -euo pipefail

level=${1:-core}
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev nlohmann-json3-dev)
if [ "$level" = windows ]; then
  packages=(cmake ninja-build make g++-mingw-w64-x86-64-posix nlohmann-json3-dev wine wine64 python3)
fi
if [ "$level" = all ]; then
  # Debian's qt6-charts-dev needs the OpenGL module's CMake files without depending on them.
  packages+=(qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libx11-dev libgl-dev
             xvfb xauth fonts-dejavu-core clang libclang-rt-14-dev clang-tidy-14 time tshark)
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
# tshark asks whether ordinary users may capture; the answer is no, and nobody is asked.
if printf '%s\n' "${missing[@]}" | grep -qx tshark; then
  echo "wireshark-common wireshark-common/install-setuid boolean false" |
    $sudo debconf-set-selections
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
