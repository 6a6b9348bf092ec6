#!/usr/bin/env bash
# Builds and runs every test: the default build, the sanitizer build, the
# fuzzers, the Windows suite under Wine (the 32-bit build where this kernel
# runs 32-bit programs, else the 64-bit one) with code pages 950 and 936,
# the differential test of Linux against Windows, and the packages.
#
# --quick: only the default build and its in-process and process tests
# (labels fast and process), the loop for a change in progress.
#
# Every build goes through ccache, so that a second run on the same machine
# compiles only what changed; each stage says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
[ "${1:-}" = "--quick" ] && quick=true

packages=(cmake g++ make python3 libgtest-dev ccache time googletest libcairo2-dev zlib1g-dev
  pkg-config libedit-dev hershey-fonts-data libfontconfig-dev libfreetype-dev fonts-wqy-microhei)
$quick || packages+=(clang shapelib python3-dbfread python3-ezdxf python3-matplotlib gdal-bin
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales netpbm librsvg2-bin chromium
  dpkg-dev lintian file)
bash scripts/deps.sh "${packages[@]}"

export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
# One cache for every clone of the project, wherever it lies.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

durations=()
stage() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  durations+=("$(printf '%-28s %5d s' "$name" $((SECONDS - start)))")
  echo "== $name: $((SECONDS - start)) s"
}
summary() {
  echo "== durations"
  printf '   %s\n' "${durations[@]}"
}
trap summary EXIT

if $quick; then
  stage "configure" cmake --preset default
  stage "default build" cmake --build --preset default -j"$(nproc)"
  stage "fast and process tests" ctest --preset default -L 'fast|process'
  exit 0
fi

for locale in zh_TW zh_CN; do
  locale -a | grep -qx "$locale.utf8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done

stage "default build and tests" cmake --workflow --preset default
stage "sanitizers" cmake --workflow --preset asan
# libFuzzer targets (clang): a short run of each over its corpus.
stage "fuzzers" cmake --workflow --preset fuzz

# The 32-bit Windows build, the modules' real target, always builds (its
# warnings are errors); the 64-bit one only where the 32-bit one cannot run.
windows_build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$(nproc)"
}
stage "32-bit Windows build" windows_build mingw
if bash scripts/can-run-i386.sh; then
  windows=mingw
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  bash scripts/deps.sh wine32:i386
else
  windows=mingw64
  echo "Skipping the 32-bit Windows leg: this kernel cannot run 32-bit programs" \
    "(its 32-bit emulation is off); running the 64-bit Windows build instead."
  stage "64-bit Windows build" windows_build mingw64
fi
stage "Windows tests under Wine" bash scripts/wine-tests.sh "$windows"
stage "Linux against Windows" python3 tests/differential/run.py "$windows"
# The packages: lintian accepts the Debian package, which runs the demo; the
# Windows zip runs a script.
stage "packages" bash scripts/package-tests.sh
