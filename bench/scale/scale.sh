#!/bin/sh
# Time and peak memory of each mode against the number of families, the
# number of loci and the number of threads, on generated families; then
# mode b's time over mode n's, and mode b's growth in loci as an exponent.
# usage: bench/scale/scale.sh BUILD_FOLDER [WORK_FOLDER]
# (a Release build: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release)
# SCALE_FAMILIES, SCALE_LOCI, SCALE_THREADS and SCALE_MODES override the lists;
# SCALE_SLOW_FAMILIES caps the families given to the slow modes l, m and i.
set -eu
build=$1
work=${2:-$(mktemp -d)}
tool=$build/tavirlen
generate=$build/bench/scale/generate_families
families=${SCALE_FAMILIES:-"1000 10000 100000"}
loci=${SCALE_LOCI:-"20 100 1000 10000 50000"}
threads=${SCALE_THREADS:-"1 2 4"}
modes=${SCALE_MODES:-"b a c n l m i"}
slow=${SCALE_SLOW_FAMILIES:-1000}
mkdir -p "$work"
cd "$work"

# measure MODE INPUT THREADS: prints seconds and peak KB. Mode n appends to
# its export files, so they are removed first: each run then writes what one
# run writes, not a copy of every earlier run's files besides.
measure() {
    rm -f run-m5.txt run-m10.txt run-m15.txt run-m20.txt
    /usr/bin/time -f "%e %M" -o time.txt "$tool" "-$1" "$2" --seed 1 --threads "$3" --quiet --force --out run \
        >/dev/null 2>&1 || true
    cat time.txt
}

echo "mode families loci threads seconds peak_MB"
for f in $families; do
    [ -s "f$f-20.txt" ] || "$generate" "$f" 20 1 >"f$f-20.txt"
    for m in $modes; do
        case $m in l|m|i) [ "$f" -le "$slow" ] || continue ;; esac
        set -- $(measure "$m" "f$f-20.txt" 1)
        echo "$m $f 20 1 $1 $(($2 / 1024))"
    done
done
for t in $threads; do
    f=$(echo $families | awk '{print $2 ? $2 : $1}')
    for m in b i; do
        [ "$m" = i ] && f=$(echo $families | awk '{print $1}')
        set -- $(measure "$m" "f$f-20.txt" "$t")
        echo "$m $f 20 $t $1 $(($2 / 1024))"
    done
done
previous=""
for l in $loci; do
    n=$((2000000 / (l * 10) > 0 ? 2000000 / (l * 10) : 1))
    [ "$n" -gt 1000 ] && n=1000
    [ -s "g$l.txt" ] || "$generate" "$n" "$l" 2 3 >"g$l.txt"
    set -- $(measure b "g$l.txt" 1)
    seconds=$1
    echo "b $n $l 1 $seconds $(($2 / 1024))"
    # Time per family, against loci: the exponent between neighbouring sizes.
    perFamily=$(awk -v s="$seconds" -v n="$n" 'BEGIN { print s / n }')
    if [ -n "$previous" ]; then
        awk -v a="$previous" -v b="$perFamily" -v la="$previousLoci" -v lb="$l" \
            'BEGIN { if (a > 0 && b > 0) printf "  exponent in loci %d..%d: %.2f\n", la, lb, log(b / a) / log(lb / la) }'
    fi
    previous=$perFamily
    previousLoci=$l
done
f=$(echo $families | awk '{print $2 ? $2 : $1}')
set -- $(measure b "f$f-20.txt" 1)
b=$1
set -- $(measure n "f$f-20.txt" 1)
awk -v b="$b" -v n="$1" -v f="$f" 'BEGIN { printf "mode b / mode n on %d families: %.2f\n", f, (n > 0 ? b / n : 0) }'
