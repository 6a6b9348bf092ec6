#!/usr/bin/env bash
# Builds and runs every test: the default build, then the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake g++ make python3 libgtest-dev clang shapelib python3-dbfread time
cmake --workflow --preset default
cmake --workflow --preset asan
