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
echo ',Teacher,otherhost,07.03.2026 10:00,file:///home/t/.config/libreoffice/4;' >"$tmp/.~lock.b.xls#"
! "$book" set "$tmp/b.xls" 1 3 7 1 2>/dev/null || fail "wrote a file another program holds"
cmp -s "$tmp/b.xls" "$tmp/before.xls" || fail "file changed while locked"
rm "$tmp/.~lock.b.xls#"

# A file-size limit: an error and the old file, not a process killed by SIGXFSZ.
status=0
(ulimit -f 4; exec "$book" set "$tmp/b.xls" 1 3 7 1) 2>"$tmp/err" || status=$?
[[ $status == 1 && -s "$tmp/err" ]] || fail "file-size limit: exit status $status"
cmp -s "$tmp/b.xls" "$tmp/before.xls" || fail "file changed by a save over the size limit"
[[ -z "$(ls -A "$tmp" | grep rostrel)" ]] || fail "temporary file left by a failed save"

# Output that cannot be written is an error.
! "$book" dump "$tmp/b.xls" 1 >/dev/full 2>/dev/null || fail "dump to a full disk exited 0"
! "$book" sheets "$tmp/b.xls" >/dev/full 2>/dev/null || fail "sheets to a full disk exited 0"

# A sheet name holding a line break prints on one line, escaped.
/usr/bin/python3 - "$fixtures/five_classes.xls" "$tmp/nl.xls" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
name = '1班'.encode('utf-16-le')
open(sys.argv[2], 'wb').write(data.replace(name, '\n班'.encode('utf-16-le'), 1))
PY
[[ "$("$book" sheets "$tmp/nl.xls")" == $'\\n班\n2班\n3班\n4班\n5班' ]] || fail "sheet name with a line break"
# The same roll book saved as .xls, .xlsx and .ods: the same sheets, cells and edits.
for ext in xlsx ods; do
    other="$fixtures/lo_rollbook.$ext"
    [[ "$("$book" sheets "$other")" == "$("$book" sheets "$fixtures/lo_rollbook.xls")" ]] || fail "sheets of .$ext"
    for sheet in 1 2 3; do
        [[ "$("$book" dump "$other" $sheet)" == "$("$book" dump "$fixtures/lo_rollbook.xls" $sheet)" ]] ||
            fail "dump of .$ext sheet $sheet"
    done
done
for ext in xls xlsx ods; do
    cp "$fixtures/lo_rollbook.$ext" "$tmp/same.$ext"
    chmod u+w "$tmp/same.$ext"
    "$book" set "$tmp/same.$ext" 1 5 8 2.5
    "$book" set "$tmp/same.$ext" 2 40 12 -3
    "$book" set --text "$tmp/same.$ext" '高一(2)班' 2 7 $'03月16\n补'
    "$book" set --clear "$tmp/same.$ext" 1 3 2
    for sheet in 1 2 3; do "$book" dump "$tmp/same.$ext" $sheet; done >"$tmp/same.$ext.tsv"
done
cmp -s "$tmp/same.xls.tsv" "$tmp/same.xlsx.tsv" || fail "set on .xlsx differs from .xls"
cmp -s "$tmp/same.xls.tsv" "$tmp/same.ods.tsv" || fail "set on .ods differs from .xls"
grep -qx $'5\t8\tnumber\t2.5' "$tmp/same.ods.tsv" || fail "set on .ods not shown"
echo ok
