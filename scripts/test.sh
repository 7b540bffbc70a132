#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test.
# ROSTREL_SANITIZE=1 builds the tests with AddressSanitizer and UBSan in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=build
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DROSTREL_WERROR=ON -DBUILD_TESTING=ON -DROSTREL_BENCH=ON -DROSTREL_SANITIZE=OFF)
if [[ "${ROSTREL_SANITIZE:-0}" == 1 ]]; then
  dir=build-asan
  args=(-DCMAKE_BUILD_TYPE=Debug -DROSTREL_WERROR=ON -DBUILD_TESTING=ON -DROSTREL_BENCH=OFF -DROSTREL_SANITIZE=ON)
  # GLib's slice allocator would hide its blocks from LeakSanitizer; the one known library leak
  # is suppressed in tests/support/TestMain.cpp.
  export G_SLICE=always-malloc G_DEBUG=gc-friendly
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
if command -v ccache >/dev/null; then
  args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir"
cd "$dir" && ctest --output-on-failure --no-tests=error -j2
