#!/usr/bin/env bash
# Makes the packages and runs what they hold: lintian reports nothing on the
# Debian package, which, unpacked into a scratch root, runs the demo from a
# folder of its own; the Windows zip says what it is in Windows text, holds
# its sources and, unpacked, runs a script with zchost.exe and draws a PNG
# with slb.exe under Wine (where this kernel runs 32-bit programs). Needs the
# default and mingw builds.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$PWD/build/package-test
rm -rf "$work"
mkdir -p "$work"

# The one file a glob names: none or several is an error, said as such.
one() {
  if [ $# -ne 1 ] || [ ! -e "$1" ]; then
    echo "expected one file, found: $*" >&2
    return 1
  fi
  printf '%s\n' "$1"
}

rm -f build/vetrix-calden_*.deb
cpack --preset default >/dev/null
deb=$(one build/vetrix-calden_*.deb)
echo "== $deb: depends on $(dpkg-deb -f "$deb" Depends)"
# Root is how CI runs; lintian says so on standard error each time.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>/dev/null ||
  { echo "lintian rejects $deb"; exit 1; }
echo "== lintian accepts $deb"
dpkg -x "$deb" "$work/root"
doc=$work/root/usr/share/doc/vetrix-calden
python3 "$doc/examples/make_samples.py" "$work/demo"
(cd "$work/demo" && "$work/root/usr/bin/zchost" --codepage 950 "$doc/examples/demo.lsp" >"$work/demo.out")
grep -q "C300 螺帽" "$work/demo.out" || { cat "$work/demo.out"; echo "the installed demo failed"; exit 1; }
"$work/root/usr/bin/slb" list "$work/demo/icons.slb" >/dev/null
echo "== the packaged zchost ran the demo"
for program in slb zchost; do
  completion=$work/root/usr/share/bash-completion/completions/$program
  [ -f "$completion" ] && bash -n "$completion" ||
    { echo "the package lacks bash's completion of $program"; exit 1; }
done
# The thumbnailer's command line, as a file manager runs it.
thumbnailer=$work/root/usr/share/thumbnailers/slb.thumbnailer
mime=$work/root/usr/share/mime/packages/vetrix-calden.xml
[ -f "$thumbnailer" ] && [ -f "$mime" ] || { echo "the package lacks the thumbnailer or the type"; exit 1; }
slides=(tests/data/slides/*.sld)
# A slide, and a library (its first four slides in a square).
for input in "${slides[0]}" tests/data/slides/mnas__LINES.slb; do
  command=$(sed -n 's/^Exec=//p' "$thumbnailer")
  command=${command//%i/\"$input\"}
  command=${command//%o/\"$work/thumb.png\"}
  command=${command//%s/128}
  (PATH=$work/root/usr/bin:$PATH && eval "$command")
  python3 - "$work/thumb.png" "$mime" <<'PYTHON'
import struct, sys, xml.dom.minidom
xml.dom.minidom.parse(sys.argv[2])  # the type is well-formed XML
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
width, height = struct.unpack(">II", data[16:24])
assert max(width, height) == 128 and min(width, height) > 0, (width, height)
PYTHON
done
grep -q '^MimeType=.*application/x-autocad-slide-library;' "$thumbnailer" ||
  { echo "the thumbnailer does not take libraries"; exit 1; }
echo "== the packaged thumbnailer drew a slide and a library"

rm -f build-mingw/vetrix-calden-*-win32.zip
cpack --preset mingw >/dev/null
zip=$(one build-mingw/vetrix-calden-*-win32.zip)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/zip"
unpacked=$(one "$work"/zip/vetrix-calden-*)
for file in zchost.exe slb.exe zcadhost.dll vetrix.dll calden.dll README-windows.txt \
  BUILD-FOR-HOST.txt LICENSE futural.jhf HERSHEY-FONTS.txt; do
  [ -f "$unpacked/$file" ] || { echo "$zip lacks $file"; exit 1; }
done
# The texts are Windows text files that say first what the zip is; its
# sources build the modules for the CAD host with the preset they name.
python3 - "$unpacked" <<'PYTHON'
import pathlib, re, sys, zipfile
folder = pathlib.Path(sys.argv[1])
for name in ["README-windows.txt", "BUILD-FOR-HOST.txt", "HERSHEY-FONTS.txt"]:
    data = (folder / name).read_bytes()
    assert data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n"), f"{name}: not CR LF"
    assert b"@" not in data, f"{name}: a placeholder is left"
first = (folder / "README-windows.txt").read_bytes().split(b"\r\n")[0].decode()
assert re.search(r"built for the emulated host.*zchost\.exe.*slb\.exe", first), first
sources = list(folder.glob("vetrix-calden-*-source.zip"))
assert len(sources) == 1, sources
names = zipfile.ZipFile(sources[0]).namelist()
top = sources[0].stem + "/"
for name in ["CMakeLists.txt", "CMakePresets.json", "cmake/host_sdk.cmake", "frame/entry.cc"]:
    assert top + name in names, f"{sources[0].name} lacks {name}"
assert b'"host-sdk"' in zipfile.ZipFile(sources[0]).read(top + "CMakePresets.json")
assert "host-sdk" in (folder / "BUILD-FOR-HOST.txt").read_text()
PYTHON
echo "== $zip says what it holds, in Windows text, with its sources"
if ! bash scripts/can-run-i386.sh; then
  echo "== $zip holds its files; not run: this kernel cannot run 32-bit programs"
  exit 0
fi
eval "$(bash scripts/wine-env.sh mingw)"
export WINEPREFIX=$work/wine
source scripts/wine-prefix.sh
mkdir -p "$work/windows"
printf '(princ ($npi 2))\n(princ (strcat " " ($addbl "中" 3) "|"))\n' >"$work/windows/script.lsp"
cp tests/data/slides/mnas__D_OTV.sld "$work/windows/"
out=$(cd "$work/windows" && "$wine" "$unpacked/zchost.exe" --exact-reals script.lsp)
(cd "$work/windows" && "$wine" "$unpacked/slb.exe" png mnas__D_OTV.sld -o d_otv.png)
# Text: the stroke font beside slb.exe, and a Chinese character from GDI's
# fonts or '?' (either way drawn, nothing skipped).
printf '0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1024\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n10\n0\n20\n0\n40\n5\n1\n中 ok\n0\nENDSEC\n0\nEOF\n' \
  >"$work/windows/text.dxf"
(cd "$work/windows" && "$wine" "$unpacked/slb.exe" make text.dxf -o text.sld) ||
  { echo "slb.exe from the zip made no slide of text"; exit 1; }
"$wineserver" -k || true
[ "$out" = "6.283185307179586 中 |" ] || { echo "zchost.exe from the zip printed: $out"; exit 1; }
echo "== the zipped zchost.exe ran a script under Wine"
[ "$(head -c 8 "$work/windows/d_otv.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
  { echo "slb.exe from the zip drew no PNG"; exit 1; }
echo "== the zipped slb.exe drew a PNG and made a slide of text under Wine"
