#!/usr/bin/env bash
# Installs what is missing, builds Rostrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROSTREL_TESTS=OFF -DROSTREL_BENCH=OFF >/dev/null
cmake --build build
cd share && exec ../build/src/rostrel "$@"
