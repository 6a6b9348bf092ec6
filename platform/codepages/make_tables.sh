#!/usr/bin/env bash
# Regenerates cp950.inc and cp936.inc from Windows' own conversion, and
# case.inc from its case mapping: builds
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
for cp in 950 936 case; do
  name=$([ "$cp" = case ] && echo case.inc || echo "cp$cp.inc")
  (cd "$work" && "$wine" make_tables.exe "$cp" "$name" </dev/null)
  cp "$work/$name" "$here/$name"
done
"$wineserver" -k || true
echo "wrote cp950.inc, cp936.inc and case.inc in $here"
