#!/bin/sh
# Whole runs of mode b on chain pedigrees of 2,000, 4,000 and 8,000
# generations (those of `phasing_scaling_bench chain`), as a user times them:
# the best processor time of ROUNDS runs of the program each, start-up
# included, the share of a run with one member, and each depth's time over
# the first one's.
# usage: bench/phasing/chain_runs.sh BUILD_FOLDER [ROUNDS]
# (a Release build: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release)
set -eu
build=$(cd "$1" && pwd)
rounds=${2:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for g in 2000 4000 8000; do
    "$build/bench/phasing/phasing_scaling_bench" write-chain "$g" > "$work/chain$g.txt"
done
head -n 1 "$work/chain2000.txt" > "$work/chain0.txt"
cd "$work"
python3 - "$build/tavirlen" "$rounds" <<'PY'
import resource, subprocess, sys
tool, rounds = sys.argv[1], int(sys.argv[2])

def best(path):
    times = []
    for _ in range(rounds):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run([tool, "-b", path, "--seed", "1", "--threads", "1", "--quiet", "--force", "--out", "run"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        times.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return min(times)

start = best("chain0.txt")
print("Mode b, whole runs of one chain of 5 loci, best of %d (processor seconds)" % rounds)
print("  one member (start-up): %.4f s" % start)
first = None
for g in (2000, 4000, 8000):
    t = best("chain%d.txt" % g)
    first = first or t
    print("  %5d generations: %.4f s, %.2f x the first; without start-up %.2f x" % (g, t, t / first, (t - start) / (first - start)))
PY
