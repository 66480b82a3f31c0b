#!/bin/sh
# Mode b on a large generated file with the build in the given folder
# (default build-asan, the AddressSanitizer/UBSan build, where any fault
# aborts the run):  bench/phasing/large_run.sh [build-folder] [families] [loci]
set -e
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-build-asan}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
cmake --build "$build" -j2 --target phasing_bench
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/bench/phasing/phasing_bench" "${2:-20000}" "${3:-20}"
echo "result lines: $(grep -c "$(printf '^[0-9]*\t [0-9]*\t ')" bench-families.res) families in .res"
