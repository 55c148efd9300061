#!/usr/bin/env bash
# The fuzz smoke of CI: configures and builds the fuzz targets with clang in
# BUILD_DIR (default build-fuzz); then each target replays its past findings
# (tests/data/<target>/regress/) and runs for SECONDS (default 20) from a copy
# of its seeds, so that the corpus in the tree stays as it is, PARALLEL
# targets at a time (environment SCALOPEX_FUZZ_PARALLEL, default 2). Without
# TARGET names every fuzz/<target>_fuzz.cpp runs. New findings are kept in
# BUILD_DIR/smoke/<target>/findings/. Exits 1 when any target finds something.
#
# usage: fuzz/smoke.sh [BUILD_DIR [SECONDS [TARGET...]]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-20}
shift $(($# < 2 ? $# : 2))
parallel=${SCALOPEX_FUZZ_PARALLEL:-2}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in fuzz/*_fuzz.cpp; do
        name=$(basename "$source" .cpp)
        targets+=("${name%_fuzz}")
    done
fi

# A fuzz build configured already (CI's, with the tests in it) is kept as it
# is; otherwise a build of the fuzz targets alone is configured.
if ! grep -qx 'SCALOPEX_BUILD_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DSCALOPEX_BUILD_FUZZ=ON -DSCALOPEX_WERROR=ON \
        -DSCALOPEX_BUILD_TESTS=OFF -DSCALOPEX_BUILD_APP=OFF -DSCALOPEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target "${targets[@]/#/scalopex_fuzz_}"

smoke() {
    local build=$1 seconds=$2 target=$3
    local dir=$build/smoke/$target
    local program=$build/fuzz/scalopex_fuzz_$target
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/findings"
    if [ -d fuzz/seeds/"$target" ]; then
        cp fuzz/seeds/"$target"/* "$dir/corpus/"
    fi
    # The past findings first: the replay programs of the other builds may
    # miss what only clang's sanitizers report.
    if [ -d tests/data/"$target"/regress ] &&
        ! "$program" -runs=0 tests/data/"$target"/regress > "$dir/log" 2>&1; then
        echo "fuzz $target: a past finding is back"
        tail -n 40 "$dir/log"
        return 1
    fi
    if "$program" "$dir/corpus" -max_total_time="$seconds" -rss_limit_mb=2560 -timeout=10 \
        -artifact_prefix="$dir/findings/" > "$dir/log" 2>&1; then
        echo "fuzz $target: $(grep -m1 -o 'DONE.*' "$dir/log")"
    else
        echo "fuzz $target: FINDING, kept in $dir/findings/"
        tail -n 40 "$dir/log"
        return 1
    fi
}
export -f smoke
printf '%s\n' "${targets[@]}" | xargs -P "$parallel" -I{} bash -c 'smoke "$@"' _ "$build" "$seconds" {} || exit 1
