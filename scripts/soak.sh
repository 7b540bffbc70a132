#!/usr/bin/env bash
# Soak test of roll-book saves, kept out of ctest (it runs for minutes):
#   bash scripts/soak.sh [ROUNDS] [KILLS]
# 1. Three `rostrel-book set` loops of ROUNDS writes each on one roll book, each writing its
#    own cells, first alone, then with a fourth process deleting the lock files all the time.
#    Every write that exited 0 must be in the file at the end; refused ones say so.
# 2. KILLS saves of big_class.xls killed with SIGKILL at a random moment: each must leave
#    exactly the old or the new file, and the next save must leave no temporary file behind.
# Exits non-zero when a write was lost, a file was torn or a temporary file was left.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
book=${ROSTREL_BOOK:-$root/build/tools/rostrel-book/rostrel-book}
fixtures=${ROSTREL_FIXTURES:-$root/../shared/fixtures}
rounds=${1:-100}
kills=${2:-200}
[[ -x $book ]] || { echo "build rostrel-book first: cmake --build build --target rostrel-book" >&2; exit 2; }
tmp=$(mktemp -d)
deleter=
trap '[[ -n $deleter ]] && kill "$deleter" 2>/dev/null; rm -rf "$tmp"' EXIT
ms() { date +%s%3N; }
bad=0

writers() { # $1: label, $2: 1 to delete lock files meanwhile
    local dir=$tmp/$1
    mkdir -p "$dir"
    cp "$fixtures/five_classes.xls" "$dir/roll.xls"
    chmod u+w "$dir/roll.xls"
    if [[ $2 == 1 ]]; then
        (while :; do rm -f "$dir/.~lock.roll.xls#"; done) &
        deleter=$!
    fi
    local pids=()
    for w in 1 2 3; do
        (for ((r = 1; r <= rounds; r++)); do
            if "$book" set "$dir/roll.xls" 1 $((r + 2)) $((10 + w)) $((w * 1000 + r)) 2>>"$dir/refused$w"; then
                echo $r >>"$dir/ok$w"
            else
                echo $r >>"$dir/no$w"
            fi
        done) &
        pids+=($!)
    done
    wait "${pids[@]}"
    if [[ -n $deleter ]]; then
        kill "$deleter"
        wait "$deleter" 2>/dev/null
        deleter=
    fi
    local dump ok=0 refused=0 missing=0 landed=0
    dump=$("$book" dump "$dir/roll.xls" 1)
    for w in 1 2 3; do
        for r in $(cat "$dir/ok$w" 2>/dev/null); do
            ok=$((ok + 1))
            grep -qx "$((r + 2))"$'\t'"$((10 + w))"$'\tnumber\t'"$((w * 1000 + r))" <<<"$dump" || missing=$((missing + 1))
        done
        for r in $(cat "$dir/no$w" 2>/dev/null); do
            refused=$((refused + 1))
            ! grep -qx "$((r + 2))"$'\t'"$((10 + w))"$'\tnumber\t'"$((w * 1000 + r))" <<<"$dump" || landed=$((landed + 1))
        done
    done
    local stray
    stray=$(ls -A "$dir" | grep -c '^\.~rostrel-\|\.rostrel-')
    local reasons
    reasons=$(cat "$dir"/refused? | sed 's/.*: //' | sort | uniq -c | sort -rn | head -3 | tr -s ' ' | paste -sd ';')
    echo "$1: writes $((3 * rounds)), exited 0 $ok, refused $refused, exited 0 but missing $missing," \
        "refused but written $landed, stray temporary files $stray (refusals:$reasons)"
    ((missing == 0 && stray == 0 && landed == 0)) || bad=1
}

kill_saves() {
    local dir=$tmp/kill
    mkdir -p "$dir"
    cp "$fixtures/big_class.xls" "$dir/base.xls"
    chmod u+w "$dir/base.xls"
    cp "$dir/base.xls" "$dir/new.xls"
    local t0 t1
    t0=$(ms)
    "$book" set "$dir/new.xls" 1 5 40 12345 || { echo "a plain save failed" >&2; exit 1; }
    t1=$(ms)
    local span=$(((t1 - t0) * 3 / 2 + 1))
    local old new
    old=$(md5sum <"$dir/base.xls")
    new=$(md5sum <"$dir/new.xls")
    local nold=0 nnew=0 torn=0 stray=0 later=0 killed=0
    for ((i = 1; i <= kills; i++)); do
        cp "$dir/base.xls" "$dir/roll.xls"
        "$book" set "$dir/roll.xls" 1 5 40 12345 2>/dev/null &
        local pid=$!
        sleep "$(printf '0.%03d' $((RANDOM % span)))"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        case $(md5sum <"$dir/roll.xls") in
        "$old") nold=$((nold + 1)) ;;
        "$new") nnew=$((nnew + 1)) ;;
        *) torn=$((torn + 1)) ;;
        esac
        killed=$((killed + $(ls -A "$dir" | grep -c '^\.~rostrel-')))
        # The next save takes over the dead process's lock and clears its leftovers.
        "$book" set "$dir/roll.xls" 1 6 40 1 2>>"$dir/later" || later=$((later + 1))
        stray=$((stray + $(ls -A "$dir" | grep -c '^\.~rostrel-\|\.rostrel-\|^\.~lock\.')))
    done
    echo "kills: $kills saves of big_class.xls (one save ${span}ms window), old file $nold, new file $nnew," \
        "neither $torn; temporary files the kills left $killed, left after the next save $stray;" \
        "later saves failing $later"
    ((torn == 0 && stray == 0 && later == 0)) || bad=1
}

writers alone 0
writers deleting-locks 1
kill_saves
exit $bad
