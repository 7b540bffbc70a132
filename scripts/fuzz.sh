#!/usr/bin/env bash
# Fuzzes the .xls engine (or the .xlsx or .ods codec) with libFuzzer (clang, ASan + UBSan) for a bounded time.
#   scripts/fuzz.sh [SECONDS] [xls|xlsx|ods]   (default 300 xls)
# Seeds: the shared roll books and corpus files of that format under 64 KB. Crashes land in build-fuzz/crashes/;
# once fixed, copy each into tests/data/workbook/ so that the tests keep reading it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
format=${2:-xls}
target=fuzz_workbook
[[ $format == xlsx ]] && target=fuzz_xlsx
[[ $format == ods ]] && target=fuzz_ods
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DROSTREL_FUZZ=ON -DROSTREL_TESTS=OFF -DROSTREL_BENCH=OFF -DROSTREL_WERROR=OFF >/dev/null
cmake --build "$dir" --target "$target"
corpus=$dir/corpus-$format
mkdir -p "$corpus" "$dir/crashes"
fixtures=../shared/fixtures
find "$fixtures" tests/data/workbook -name "*.$format" -size -64k -exec cp -n {} "$corpus/" \; 2>/dev/null || true
if [[ $format == ods ]]; then
  # The .ods harness also reads its input as a bare content.xml: seed that way in too.
  for f in "$fixtures"/ods/ok/*.ods; do
    seed="$corpus/$(basename "$f" .ods).content.xml"
    unzip -p "$f" content.xml >"$seed" 2>/dev/null || true
    [[ $(stat -c %s "$seed") -le 65536 ]] || rm -f "$seed"
  done
fi
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
"$dir/fuzz/$target" "$corpus" -artifact_prefix="$dir/crashes/" -max_total_time="$seconds" \
  -max_len=65536 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 2>&1 | grep -v '^\*\* (process' \
  | grep -v 'WARNING \*\*' || true
ls -l "$dir/crashes"
