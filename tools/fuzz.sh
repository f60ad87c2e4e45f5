#!/bin/sh
# Builds the fuzz targets with clang and runs each for SECONDS (default 20).
# Fails on any crash, leak or sanitizer report. New inputs go to a scratch
# corpus; the seeds in fuzz/corpus stay as they are.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz
# Scratch files of the targets live in the work folder and go with it.
work=$(mktemp -d -p "$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )")
trap 'rm -rf "$work"' EXIT
export ORVANT_FUZZ_SCRATCH="$work"
status=0
for target in reply config hex table dbf diagram snapshot scenario userdb; do
    mkdir -p "$work/$target"
    if ! build-fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        echo "fuzz_$target: FAILED"
        tail -40 "$work/$target.log"
        status=1
    else
        runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/$target.log" | grep -o '[0-9]*$')
        cov=$(grep -o 'cov: [0-9]*' "$work/$target.log" | tail -1)
        echo "fuzz_$target: $runs runs, $cov"
    fi
done
exit $status
