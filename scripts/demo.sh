#!/usr/bin/env bash
# Builds the project and runs the demo: every function of vetrix and calden
# called from LISP through zchost, on freshly made sample files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake g++ make python3 libcairo2-dev zlib1g-dev pkg-config libedit-dev \
  hershey-fonts-data
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" >/dev/null
rm -rf build/demo
python3 examples/make_samples.py build/demo
cd build/demo
../bin/zchost --codepage 950 ../../examples/demo.lsp
