#!/usr/bin/env bash
# The Windows programs under Wine (make windows-test): the platform calls' own checks, then the
# runs of scripts/windows_runs.py. One Wine prefix under the Windows build, one server for the
# whole test, ended on the way out.
#   scripts/windows-test.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
windows=$(realpath "$1")
linux=$(realpath "$2")

export WINEPREFIX="$windows/wine"
export WINEDEBUG=-all
# No .NET and no browser engine to install into the prefix: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine gives the programs their arguments in the locale's encoding: UTF-8, for names beyond ASCII.
export LC_ALL=C.UTF-8
unset DISPLAY

# The server first, kept up between the programs (one left by an interrupted run ended before),
# then the prefix made or brought up to date.
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k' EXIT
wineboot -i

wine "$windows/platform_io_wine_test.exe"
python3 scripts/windows_runs.py "$windows" "$linux"
