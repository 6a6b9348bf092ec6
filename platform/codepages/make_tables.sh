#!/usr/bin/env bash
# Regenerates cp950.inc and cp936.inc, and single_byte.inc for the
# single-byte code pages below, from Windows' own conversion, and case.inc
# from its case mapping: builds
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
# The single-byte code pages that tables and --codepage name: the DOS (OEM)
# ones, the Windows ones, the Macintosh ones, US-ASCII and ISO 8859-1.
single="437 737 775 850 852 855 857 860 861 862 863 864 865 866 869 874
        1250 1251 1252 1253 1254 1255 1256 1257 1258 10000 10007 10029 20127 28591"
for cp in $single; do
  (cd "$work" && "$wine" make_tables.exe "$cp" "cp$cp.inc" </dev/null)
done
{
  echo "// Windows' conversion for the single-byte code pages, written by"
  echo "// make_tables.sh: do not edit."
  for cp in $single; do tail -n +3 "$work/cp$cp.inc"; done
  echo "#define SINGLE_BYTE_CODE_PAGES(X) \\"
  for cp in $single; do echo "  X($cp) \\"; done
  echo
} >"$here/single_byte.inc"
"$wineserver" -k || true
echo "wrote cp950.inc, cp936.inc, single_byte.inc and case.inc in $here"
