#!/bin/sh
# Writes that fail half-way: a file-size limit (EFBIG) always, and a full
# tmpfs (ENOSPC) where the test may mount one (root, mount namespaces). Every
# failure gives "Cannot write result file NAME: REASON" and exit status 1;
# no result name is left holding a partial file, the complete results of an
# earlier run stay as they were, and no temporary file is left behind.
. "$(dirname "$0")/lib.sh"

families 2 4 >small.txt
families 3000 20 >big.txt
screening 2 4 >small.e
screening 3000 20 >big.e
printf '1 0 0 1\n2 0 0 2\n' >small.s
awk 'BEGIN { print "1 0 0 1"; print "2 0 0 2"; for (i = 3; i <= 400; i++) print i, 1, 2, i % 2 + 1 }' >big.s

# full DIR MODE SMALL BIG REASON [LIMIT]: a complete run into DIR/r, then one
# that runs out of room (under `ulimit -f LIMIT` when given).
full() {
    dir=$1 mode=$2 small=$3 big=$4 reason=$5 limit=${6:-}
    rm -rf "$dir"/* saved && mkdir saved
    "$tavirlen" "-$mode" "$small" --out "$dir/r" --seed 1 --quiet >/dev/null 2>&1 \
        || fail "mode $mode: the first run failed"
    cp "$dir"/* saved/
    if [ -n "$limit" ]; then
        (ulimit -f "$limit" && trap '' XFSZ && exec "$tavirlen" "-$mode" "$big" --out "$dir/r" --seed 1 --quiet) \
            >/dev/null 2>err
    else
        "$tavirlen" "-$mode" "$big" --out "$dir/r" --seed 1 --quiet >/dev/null 2>err
    fi
    status=$?
    [ "$status" -eq 1 ] || fail "mode $mode, $reason: exit status $status"
    grep -Eqx "Cannot write result file $dir/r[^ ]*: $reason" err || fail "mode $mode, $reason: message $(cat err)"
    [ "$(listing "$dir")" = "$(listing saved)" ] || fail "mode $mode, $reason: $dir holds $(listing "$dir" | tr '\n' ' ')"
    for f in saved/*; do
        cmp -s "$f" "$dir/${f#saved/}" || fail "mode $mode, $reason: ${f#saved/} differs from the earlier result"
    done
}

# every_mode DIR REASON [LIMIT]
every_mode() {
    full "$1" b small.txt big.txt "$2" ${3:-}
    full "$1" m small.txt big.txt "$2" ${3:-}
    full "$1" n small.txt big.txt "$2" ${3:-}
    full "$1" e small.e big.e "$2" ${3:-}
    full "$1" d small.s big.s "$2" ${3:-}
}

if [ "${2:-}" = tmpfs ]; then
    # Inside a private mount namespace: a 256 KiB filesystem.
    mkdir disk && mount -t tmpfs -o size=256k tmpfs disk || exit 1
    every_mode disk "No space left on device"
    umount disk
    finish
fi

mkdir out
every_mode out "File too large" 256

# A result name linked to a device is replaced by the finished file; the
# device is left alone.
ln -s /dev/full out/r.dat
"$tavirlen" -b small.txt --out out/r --force --seed 1 --quiet >/dev/null 2>&1 || fail "/dev/full: the run failed"
[ -f out/r.dat ] && [ ! -L out/r.dat ] && [ -c /dev/full ] || fail "/dev/full: r.dat is not a regular file"

if [ "$(id -u)" -eq 0 ] && unshare -m sh -c "mount -t tmpfs tmpfs '$scratch' && umount '$scratch'" 2>/dev/null; then
    unshare -m sh "$script" "$tavirlen" tmpfs || fail "on a full tmpfs"
else
    echo "disk_full.sh: no full tmpfs without root and mount namespaces; the file-size limit stands in"
fi
finish
