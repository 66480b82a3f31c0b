# Sourced by the fault tests. $1 is the tavirlen executable. Each test works
# in a scratch folder of its own (removed at exit), counts failed checks with
# `fail` and ends with `finish`.
set -u
tavirlen=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
testData=$(cd "$(dirname "$0")/../data" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavirlen-fault.XXXXXX")
trap 'cd /; rm -rf "$scratch"' EXIT
cd "$scratch"
# Mode i keeps its working folder under TMPDIR; a killed run leaves it behind.
TMPDIR=$scratch
export TMPDIR
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

finish() {
    [ "$failures" -eq 0 ] && echo "$(basename "$0"): every check passed"
    [ "$failures" -eq 0 ]
    exit
}

# families N LOCI: N nuclear families (two founders, three children) whose
# children inherit with the odd recombination, so every mode can phase them.
families() {
    awk -v n="$1" -v loci="$2" 'BEGIN {
        srand(7)
        for (f = 1; f <= n; f++) {
            for (p = 1; p <= 2; p++) {
                line = f " " p " 0 0 " p " 0 0"
                for (l = 1; l <= loci; l++) {
                    a[p, l, 1] = int(rand() * 4) + 1; a[p, l, 2] = int(rand() * 4) + 1
                    line = line " " a[p, l, 1] " " a[p, l, 2]
                }
                print line
            }
            for (c = 3; c <= 5; c++) {
                line = f " " c " 1 2 " (c % 2 + 1) " 0 0"
                s = int(rand() * 2) + 1; t = int(rand() * 2) + 1
                for (l = 1; l <= loci; l++) {
                    if (rand() < 0.1) s = 3 - s
                    if (rand() < 0.1) t = 3 - t
                    line = line " " a[1, l, s] " " a[2, l, t]
                }
                print line
            }
        }
    }'
}

# The input of mode e for the same families: header, then id, father, mother, alleles.
screening() {
    echo "id	father	mother	genotypes"
    families "$@" | awk '{ printf "%d\t%d\t%d\t", $1 * 10 + $2, $3 ? $1 * 10 + $3 : 0, $4 ? $1 * 10 + $4 : 0
                           for (k = 8; k <= NF; k++) printf "%s%s", $k, (k < NF ? " " : "\n") }'
}

# What a folder holds, one name per line (for before/after comparisons).
listing() {
    ls -A "${1:-.}"
}
