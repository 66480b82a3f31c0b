#!/bin/sh
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs each for SECONDS
# (default 60) on a scratch copy of its seed corpus, so the checkout is never
# written to. Any crash, sanitizer report, leak, timeout or memory blow-up
# fails the run; the input that caused it is kept in build-fuzz/findings/.
#
#   tests/fuzz/run.sh [SECONDS [TARGET...]]
set -eu
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-pedigree screening structure markerdist solverlog markermap}
cd "$(dirname "$0")/../.."
root=$(pwd)
build="$root/${TAVIRLEN_FUZZ_BUILD:-build-fuzz}"
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTAVIRLEN_FUZZ=ON -DTAVIRLEN_TESTS=OFF $launcher >/dev/null
targetList=""
for t in $targets; do targetList="$targetList fuzz_$t"; done
cmake --build "$build" -j2 --target $targetList

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/findings"
status=0
for t in $targets; do
    mkdir "$scratch/$t"
    cp "$root/tests/fuzz/corpus/$t/"* "$scratch/$t/"
    # Readers take a file at a time; 4 KiB holds dozens of families and keeps
    # every input fast, so a slow one is a finding (20 s at most).
    if (cd "$scratch" && "$build/tests/fuzz/fuzz_$t" "$scratch/$t" -max_total_time="$seconds" -max_len=4096 \
            -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$build/findings/$t-" -print_final_stats=1) \
            >"$scratch/$t.log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$t.log")
        echo "fuzz_$t: clean, $runs inputs in $seconds s"
    else
        echo "fuzz_$t: FINDING (input kept under $build/findings/)"
        grep -v '^#[0-9]' "$scratch/$t.log" | tail -n 60
        status=1
    fi
done
exit $status
