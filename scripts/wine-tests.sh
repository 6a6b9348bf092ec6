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
  echo "== $test_preset: Windows build under Wine, $LC_ALL ($WINEARCH)"
  ctest --preset "$test_preset" || status=1
  "$wineserver" -k || true
done
exit $status
