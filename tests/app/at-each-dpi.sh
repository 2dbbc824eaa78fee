#!/usr/bin/env bash
# Runs a test executable under Wine at 96, 120, 144 and 192 dpi, in a prefix of its own (made anew
# from the template), and fails when any run fails:
#   at-each-dpi.sh <prefix folder> <test.exe> [test arguments]
# Wine 8 takes the DPI from the prefix's registry, HKCU\Control Panel\Desktop\LogPixels (before
# HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts\LogPixels), when each
# program starts: no restart of the wineserver is needed between runs, but the value holds for every
# program of the prefix, so the prefix must be this test's own.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$1
exe=$2
shift 2
export SURFKEEP_WINEPREFIX="$prefix"
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix" "$prefix.lock"
status=0
for dpi in 96 120 144 192; do
  echo "=== at $dpi dpi"
  if ! "$root/tools/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
      </dev/null >/dev/null 2>&1; then
    echo "could not set $dpi dpi"
    status=1
    continue
  fi
  "$root/tools/wine-run" "$exe" "$@" </dev/null || { echo "=== failed at $dpi dpi"; status=1; }
done
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
exit $status
