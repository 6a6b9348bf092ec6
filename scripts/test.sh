#!/usr/bin/env bash
# Builds and runs every test: the default build, the sanitizer build, the
# fuzzers, the Windows suite under Wine (the 32-bit build where this kernel
# runs 32-bit programs, else the 64-bit one) with code pages 950 and 936,
# the differential test of Linux against Windows, and the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake g++ make python3 libgtest-dev clang shapelib python3-dbfread gdal-bin time \
  googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales netpbm \
  librsvg2-bin chromium dpkg-dev libcairo2-dev pkg-config lintian file
for locale in zh_TW zh_CN; do
  locale -a | grep -qx "$locale.utf8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done

cmake --workflow --preset default
cmake --workflow --preset asan
# libFuzzer targets (clang): a short run of each over its corpus.
cmake --workflow --preset fuzz

# The 32-bit Windows build, the modules' real target, always builds (its
# warnings are errors).
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)"
if bash scripts/can-run-i386.sh; then
  windows=mingw
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  bash scripts/deps.sh wine32:i386
else
  windows=mingw64
  echo "Skipping the 32-bit Windows leg: this kernel cannot run 32-bit programs" \
    "(its 32-bit emulation is off); running the 64-bit Windows build instead."
  cmake --preset mingw64 >/dev/null
  cmake --build --preset mingw64 -j"$(nproc)"
fi
bash scripts/wine-tests.sh "$windows"
python3 tests/differential/run.py "$windows"
# The packages: lintian accepts the Debian package, which runs the demo; the
# Windows zip runs a script.
bash scripts/package-tests.sh
