#!/bin/sh
# An input that is not a regular file (a directory, a device) is refused in
# every mode with one line, exit status 1, and nothing is written.
. "$(dirname "$0")/lib.sh"

mkdir x.txt
for mode in b t c l m i n e d s; do
    for input in x.txt /dev/null; do
        before=$(listing)
        "$tavirlen" "-$mode" "$input" --out r --seed 1 --quiet >out 2>err
        status=$?
        [ "$status" -eq 1 ] || fail "mode $mode, $input: exit status $status"
        grep -qx "Cannot open input file: $input (not a regular file)" err \
            || fail "mode $mode, $input: message $(cat err)"
        rm -f out err
        [ "$(listing)" = "$before" ] || fail "mode $mode, $input: wrote $(listing)"
        [ -z "$(listing x.txt)" ] || fail "mode $mode, $input: wrote into the directory"
    done
done
finish
