#!/usr/bin/env bash
# Fuzzes the engine with libFuzzer (clang, ASan + UBSan) for a bounded time.
#   scripts/fuzz.sh [SECONDS] [TARGETS]   (default 300 seconds for each of the targets)
# fuzz_workbook takes .xls files as they are: seeds are the shared roll books and corpus files
# under 64 KB. fuzz_container takes a recipe for a compound document (see
# fuzz/fuzz_container.cpp), so that containers of thousands of directory entries and megabytes
# are reached from small inputs. fuzz_xlsx takes .xlsx packages, fuzz_ods .ods packages or a
# bare content.xml.
# Crashes land in build-fuzz/crashes/; once fixed, copy each file into tests/data/workbook/ so
# that the tests keep reading it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
targets=${2:-"fuzz_workbook fuzz_container fuzz_xlsx fuzz_ods"}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DROSTREL_FUZZ=ON -DBUILD_TESTING=OFF -DROSTREL_BENCH=OFF -DROSTREL_WERROR=OFF >/dev/null
cmake --build "$dir" --target $targets
mkdir -p "$dir/corpus/fuzz_workbook" "$dir/corpus/fuzz_container" "$dir/corpus/fuzz_xlsx" "$dir/corpus/fuzz_ods" "$dir/crashes"
fixtures=../shared/fixtures
find "$fixtures" tests/data/workbook -name '*.xls' -size -64k -exec cp -n {} "$dir/corpus/fuzz_workbook/" \; 2>/dev/null || true
find "$fixtures" tests/data -name '*.xlsx' -size -64k -exec cp -n {} "$dir/corpus/fuzz_xlsx/" \; 2>/dev/null || true
find "$fixtures" tests/data -name '*.ods' -size -64k -exec cp -n {} "$dir/corpus/fuzz_ods/" \; 2>/dev/null || true
for f in "$fixtures"/ods/ok/*.ods; do
  [[ -f $f ]] || continue
  seed="$dir/corpus/fuzz_ods/$(basename "$f" .ods).content.xml"
  unzip -p "$f" content.xml >"$seed" 2>/dev/null || true
  [[ $(stat -c %s "$seed") -le 65536 ]] || rm -f "$seed"
done
# Container seeds: entry count (little-endian), shape, no changes.
seed() { printf "$2" > "$dir/corpus/fuzz_container/$1"; }
seed chain-1500 '\xdc\x05\x00\x00'
seed balanced-2000 '\xd0\x07\x01\x00'
seed balanced-3000 '\xb8\x0b\x01\x00'
seed nested-80 '\x50\x00\x02\x00'
seed loop '\x04\x00\x00\x01\x03\x00\x01\x02\x00'
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:fast_unwind_on_malloc=0:malloc_context_size=10
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
for t in $targets; do
  echo "== $t for $seconds s"
  "$dir/fuzz/$t" "$dir/corpus/$t" -artifact_prefix="$dir/crashes/$t-" -max_total_time="$seconds" \
    -max_len=65536 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 2>&1 | grep -v '^\*\* (process' \
    | grep -v 'WARNING \*\*' || true
done
ls -l "$dir/crashes"
