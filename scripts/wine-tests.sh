#!/usr/bin/env bash
# Runs a Windows build's test suite under Wine, once with ANSI code page 950
# and once with 936: the test presets PRESET and PRESET-936, whose
# environment (locale, Wine prefix and architecture) CMakePresets.json
# holds. Each run gets a fresh prefix. Usage: scripts/wine-tests.sh [PRESET]
# (mingw64 by default; mingw is the 32-bit build).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-mingw64}
status=0
for test_preset in "$preset" "$preset-936"; do
  eval "$(bash scripts/wine-env.sh "$test_preset")"
  source scripts/wine-prefix.sh
  # The first picture GDI+ draws in a fresh prefix sets Wine's fonts and
  # imaging up; done here, once, before tests start programs side by side
  # (the first slb png of a test run in parallel with others once hung).
  slide=tests/data/slides/civil3d__ANNO_GNRL.sld
  if [ -x "build-$preset/bin/slb.exe" ] && [ -f "$slide" ]; then
    timeout 120 "$wine" "build-$preset/bin/slb.exe" png "$slide" -o - </dev/null >/dev/null 2>&1 ||
      echo "warning: slb.exe could not draw a picture before the tests"
  fi
  echo "== $test_preset: Windows build under Wine, $LC_ALL ($WINEARCH)"
  ctest --preset "$test_preset" || status=1
  "$wineserver" -k || true
done
exit $status
