#!/usr/bin/env bash
# Runs a test program under Wine in a fresh prefix of its own, copied from the template, for a test
# that changes what the other tests take as the fresh machine (the registry, the hosts file). The
# prefix and its server are gone afterwards.
#   own-prefix.sh <prefix folder> <tools/wine-run> <test program> [arguments...]
set -u
prefix=$1
runner=$2
shift 2
stop() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix" "$prefix.lock"
}
stop
trap stop EXIT
SURFKEEP_WINEPREFIX="$prefix" "$runner" "$@"
