#!/usr/bin/env bash
# Configures and builds the program, its tests and benchmarks in ./build.
# KORDEX_WERROR=1 turns warnings into errors (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
if [ "${KORDEX_WERROR:-}" = 1 ] || [ "${CI:-}" = true ]; then werror=ON; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORDEX_WERROR="$werror"
cmake --build build
