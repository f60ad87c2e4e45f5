#!/bin/sh
# Builds and runs every test: a short run of every fuzz target (where clang
# is there to build them), then the tests in the normal build and under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
if command -v clang++-14 >/dev/null; then
    tools/fuzz.sh 20
fi
for preset in default asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
