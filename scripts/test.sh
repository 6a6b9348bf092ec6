#!/usr/bin/env bash
# Builds and runs every test: the default build, the sanitizer build, the
# fuzzers, and the Windows builds (the 64-bit suite under Wine with code pages 950 and 936).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake g++ make python3 libgtest-dev clang shapelib python3-dbfread time \
  googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales
for locale in zh_TW zh_CN; do
  locale -a | grep -qx "$locale.utf8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done

cmake --workflow --preset default
cmake --workflow --preset asan
# libFuzzer targets (clang): a short run of each over its corpus.
cmake --workflow --preset fuzz

# The 32-bit Windows build: it must build without a warning.
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)" >build-mingw.log 2>&1 || {
  cat build-mingw.log
  exit 1
}
if grep -E "warning:" build-mingw.log; then
  echo "the 32-bit Windows build has warnings (build-mingw.log)"
  exit 1
fi
# The Windows suite under Wine.
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 -j"$(nproc)"
bash scripts/wine-tests.sh mingw64
