#!/bin/sh
# A result name that leads to the input, through a hard link or a symbolic
# link either way, is refused before anything is written: exit status 1, the
# input unchanged, no other file created (mode n, which writes each of its
# export files that it can, only leaves the linked one alone).
. "$(dirname "$0")/lib.sh"

cp "$examples/family.txt" pedigree
screening 3 4 >screening
cp "$testData/modes/structure.txt" structure
# mode, input file, result name that is made a link of the input
cases="b pedigree x.dat
t pedigree x.res
c pedigree x.out
l pedigree x.summary.tsv
m pedigree x.crossovers.tsv
i pedigree x.dat
n pedigree x.txt-m5.txt
e screening x.inb
e screening x.mrh
s structure x-6-2-0.txt
d structure x-vary--26--summary"

echo "$cases" | while read -r mode source result; do
    for link in hard symbolic reverse; do
        mkdir run && cd run
        case $link in
        hard) cp "../$source" "$result" && ln "$result" x.txt ;;
        symbolic) cp "../$source" "$result" && ln -s "$result" x.txt ;;
        reverse) cp "../$source" x.txt && ln -s x.txt "$result" ;;
        esac
        before=$(listing)
        "$tavirlen" "-$mode" x.txt --seed 1 --quiet >/dev/null 2>err
        status=$?
        what="mode $mode, $link link $result"
        [ "$status" -eq 1 ] || fail "$what: exit status $status"
        grep -q "Result file $result would overwrite the input file" err || fail "$what: message $(cat err)"
        cmp -s x.txt "../$source" || fail "$what: the input changed"
        cmp -s "$result" "../$source" || fail "$what: the linked name changed"
        rm err
        [ "$mode" = n ] || [ "$(listing)" = "$before" ] || fail "$what: the folder now holds $(listing | tr '\n' ' ')"
        cd .. && rm -rf run
    done
    [ "$failures" -eq 0 ]
done || failures=1
finish
