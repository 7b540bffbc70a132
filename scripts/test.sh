#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# ROSTREL_SANITIZE=1 builds the tests with AddressSanitizer and UBSan in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=build
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${ROSTREL_SANITIZE:-0}" == 1 ]]; then
  dir=build-asan
  args=(-DCMAKE_BUILD_TYPE=Debug -DROSTREL_SANITIZE=ON -DROSTREL_BENCH=OFF)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir"
cd "$dir" && ctest --output-on-failure -j2
