#!/usr/bin/env bash
# Runs a Windows build's test suite under Wine, once with ANSI code page 950
# (zh_TW.UTF-8) and once with 936 (zh_CN.UTF-8), each in a fresh Wine prefix
# in the build folder. Usage: scripts/wine-tests.sh [PRESET]  (default mingw64)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-mingw64}
case $preset in
  mingw) wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32 ;;  # 32-bit
  *) wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 ;;
esac
status=0
for codepage in 950 936; do
  case $codepage in
    950) locale=zh_TW.UTF-8; test_preset=$preset ;;
    936) locale=zh_CN.UTF-8; test_preset=$preset-936 ;;
  esac
  export LC_ALL=$locale LANG=$locale WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEPREFIX=$PWD/build-$preset/wine-$codepage
  rm -rf "$WINEPREFIX"
  # Make the prefix, then keep one server alive for the whole run, with Wine's
  # own system processes started here: a system process started by a test
  # would inherit and hold open the pipe ctest reads the test's output from.
  "$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
  "$wineserver" -w
  "$wineserver" -p
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1
  echo "== Windows build under Wine, ANSI code page $codepage ($locale)"
  ctest --preset "$test_preset" || status=1
  "$wineserver" -k || true
done
exit $status
