#!/usr/bin/env bash
# Regenerates cp950.inc and cp936.inc from Windows' own conversion: builds
# make_tables.cc with MinGW and runs it under Wine (the 32-bit suite's
# prefix). Needs the packages of scripts/deps.sh mingw.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
i686-w64-mingw32-g++ -O2 -static -o "$work/make_tables.exe" "$here/make_tables.cc"
eval "$(bash "$root/scripts/wine-env.sh" mingw)"
export WINEPREFIX="$work/prefix"
# Wine's server outlives the run: keep it from holding this script's output.
source "$root/scripts/wine-prefix.sh" </dev/null >/dev/null 2>&1
for cp in 950 936; do
  (cd "$work" && "$wine" make_tables.exe "$cp" "cp$cp.inc" </dev/null)
  cp "$work/cp$cp.inc" "$here/cp$cp.inc"
done
"$wineserver" -k || true
echo "wrote $here/cp950.inc and $here/cp936.inc"
