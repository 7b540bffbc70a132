#!/usr/bin/env bash
# Checks rostrel-book's commands and output format on the test roll books (run by ctest).
#   check.sh ROSTREL_BOOK FIXTURES_DIR
set -euo pipefail
book=$1
fixtures=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ "$("$book" sheets "$fixtures/lo_rollbook.xls")" == $'高一(1)班\n高一(2)班\n高一(3)班' ]] || fail sheets
# By number and by name; row, column, type, value.
lo=$("$book" dump "$fixtures/lo_rollbook.xls" 1)
[[ "${lo%%$'\n'*}" == $'1\t1\ttext\t高一(1)班点名册' ]] || fail "dump by number"
byName=$("$book" dump "$fixtures/lo_rollbook.xls" '高一(1)班')
grep -qx $'2\t7\ttext\t03月14' <<<"$byName" || fail "dump by name"
xlwt=$("$book" dump "$fixtures/xlwt_rollbook.xls" 1)
grep -qx $'2\t7\tdate\t46095' <<<"$xlwt" || fail "date as serial"
grep -q $'\tnumber\t100000.25$' <<<"$xlwt" || fail "shortest number"

cp "$fixtures/xlwt_rollbook.xls" "$tmp/b.xls"
chmod u+w "$tmp/b.xls"
"$book" set "$tmp/b.xls" 1 3 7 0.1
"$book" set --text "$tmp/b.xls" 1 30 2 $'a\tb\\c\nd'
"$book" set --clear "$tmp/b.xls" 1 1 1
out=$("$book" dump "$tmp/b.xls" 1)
grep -qx $'3\t7\tnumber\t0.1' <<<"$out" || fail "set number"
grep -qxF $'30\t2\ttext\ta\\tb\\\\c\\nd' <<<"$out" || fail "escaped text"
! grep -q $'^1\t1\t' <<<"$out" || fail "clear"

# Errors: non-zero status, a message, the file untouched.
cp "$tmp/b.xls" "$tmp/before.xls"
! "$book" set "$tmp/b.xls" 1 3 7 abc 2>"$tmp/err" || fail "bad number accepted"
[[ -s "$tmp/err" ]] || fail "no message"
! "$book" set "$tmp/b.xls" 9 3 7 1 2>/dev/null || fail "missing sheet accepted"
! "$book" set "$tmp/b.xls" 1 0 7 1 2>/dev/null || fail "row 0 accepted"
! "$book" dump "$fixtures/corpus/refuse/password.xls" 1 2>/dev/null || fail "encrypted file dumped"
cmp -s "$tmp/b.xls" "$tmp/before.xls" || fail "file changed by a failed command"
: >"$tmp/.~lock.b.xls#"
! "$book" set "$tmp/b.xls" 1 3 7 1 2>/dev/null || fail "wrote a file another program holds"
cmp -s "$tmp/b.xls" "$tmp/before.xls" || fail "file changed while locked"
echo ok
