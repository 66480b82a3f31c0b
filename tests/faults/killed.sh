#!/bin/sh
# A run killed half-way with SIGKILL never leaves a partial file under a
# result name: the name is absent, or holds the earlier complete result. The
# next run replaces the stale temporary files.
. "$(dirname "$0")/lib.sh"

families 2 4 >small.txt
families 8000 20 >big.txt

# killed MODE ENDING: a run on big.txt into r, killed as soon as the
# temporary file of rENDING, the first result it fills, holds data.
killed() {
    partial=r$2.tavirlen-partial
    "$tavirlen" "-$mode" big.txt --out r --seed 1 --quiet >/dev/null 2>&1 &
    pid=$!
    tries=0
    until [ -s "$partial" ] || [ "$tries" -ge 3000 ]; do
        sleep 0.01
        tries=$((tries + 1))
    done
    kill -KILL "$pid" 2>/dev/null
    { wait "$pid"; } 2>/dev/null
    [ $? -eq 137 ] || fail "mode $mode: the run ended before it could be killed"
}

for mode in b m n i; do
    case $mode in n) first=-m5.txt ;; *) first=.dat ;; esac
    mkdir "$mode" && cd "$mode"
    cp ../small.txt ../big.txt .
    # No earlier result: nothing under a result name.
    killed "$mode" "$first"
    left=$(listing | grep -Ev '^(big|small)\.txt$|\.tavirlen-partial$')
    [ -z "$left" ] || fail "mode $mode: a killed first run left $left"
    rm -f r*
    # An earlier complete result stays as it was.
    "$tavirlen" "-$mode" small.txt --out r --seed 1 --quiet >/dev/null 2>&1 || fail "mode $mode: the small run failed"
    mkdir saved && cp r* saved/
    killed "$mode" "$first"
    for f in saved/*; do
        cmp -s "$f" "${f#saved/}" || fail "mode $mode: ${f#saved/} changed in a killed run"
    done
    ls r*.tavirlen-partial >/dev/null 2>&1 || fail "mode $mode: the killed run left no temporary file to test with"
    # The next run replaces the stale temporary files.
    "$tavirlen" "-$mode" small.txt --out r --seed 1 --quiet >/dev/null 2>&1 || fail "mode $mode: the run after the kill failed"
    ! ls r*.tavirlen-partial >/dev/null 2>&1 || fail "mode $mode: $(ls r*.tavirlen-partial) left"
    cd ..
done
finish
