#!/usr/bin/env bash
# Fuzzes the .xls engine with libFuzzer (clang, ASan + UBSan) for a bounded time.
#   scripts/fuzz.sh [SECONDS]   (default 300)
# Seeds: the shared roll books and corpus files under 64 KB. Crashes land in build-fuzz/crashes/;
# once fixed, copy each into tests/data/workbook/ so that the tests keep reading it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DROSTREL_FUZZ=ON -DBUILD_TESTING=OFF -DROSTREL_BENCH=OFF -DROSTREL_WERROR=OFF >/dev/null
cmake --build "$dir" --target fuzz_workbook
mkdir -p "$dir/corpus" "$dir/crashes"
fixtures=../shared/fixtures
find "$fixtures" tests/data/workbook -name '*.xls' -size -64k -exec cp -n {} "$dir/corpus/" \; 2>/dev/null || true
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:fast_unwind_on_malloc=0:malloc_context_size=10
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
"$dir/fuzz/fuzz_workbook" "$dir/corpus" -artifact_prefix="$dir/crashes/" -max_total_time="$seconds" \
  -max_len=65536 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 2>&1 | grep -v '^\*\* (process' \
  | grep -v 'WARNING \*\*' || true
ls -l "$dir/crashes"
