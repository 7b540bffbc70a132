#!/usr/bin/env bash
# Formats the C++ sources with .clang-format (clang-format from Debian 12, version 14).
#   scripts/format.sh            rewrites every tracked .cpp/.h file in place
#   scripts/format.sh --check    changes nothing; lists the files that differ and fails if any
#   scripts/format.sh [--check] FILE...   only these files
set -euo pipefail
check=0
if [[ ${1:-} == --check ]]; then
  check=1
  shift
fi
args=()
for f in "$@"; do args+=("$(realpath "$f")"); done
cd "$(dirname "$0")/.."
formatter=${CLANG_FORMAT:-clang-format}
command -v "$formatter" >/dev/null || { echo "format.sh: $formatter not found (Debian: clang-format)" >&2; exit 2; }
if ((${#args[@]})); then
  files=("${args[@]}")
else
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
((${#files[@]})) || exit 0
if ((check == 0)); then
  "$formatter" -i --style=file "${files[@]}"
  exit 0
fi
differ=()
for f in "${files[@]}"; do
  "$formatter" --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || differ+=("$f")
done
if ((${#differ[@]})); then
  printf '%s\n' "${differ[@]}"
  echo "format.sh: ${#differ[@]} of ${#files[@]} files differ from .clang-format; run scripts/format.sh" >&2
  exit 1
fi
echo "format.sh: ${#files[@]} files follow .clang-format"
