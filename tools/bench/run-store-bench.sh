#!/bin/bash
# Builds bench_store in the 64-bit tree and runs it under 64-bit Wine (and in
# the 32-bit tree under 32-bit Wine where this machine runs it), with the
# environment of the test programs, inside Xvfb for the progress window.
#
#   tools/bench/run-store-bench.sh [bench_store options...]
#
# VESTIBAR_BUILD picks the build folder (default build/); the generated
# stores (about 70 MB, made once) and the outputs go under it, never into
# the source tree.  Takes a few minutes on two cores.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
. "$top/cmake/wine-env.sh"

# Every process of a run on one core: as a window opens and closes, the
# program, the wineserver and Xvfb wake each other many times over, and on
# our virtual machines a wake-up across cores costs more than the work
# itself (the window alone took 6-7 ms on one core, 7-32 ms on two, from run
# to run).  VESTIBAR_BENCH_CORES=all leaves them to the scheduler.
pin=()
if [ "${VESTIBAR_BENCH_CORES:-one}" != all ] && command -v taskset >/dev/null; then
    pin=(taskset -c 0)
fi

# run_bench BITS TOOLCHAIN FOLDER [options...]: bench_store from FOLDER of
# the tree (bin, or bench-copy for the ceiling).
run_bench() {
    local bits=$1 toolchain=$2 folder=$3; shift 3
    local tree=$build/win$bits
    [ -f "$tree/build.ninja" ] || cmake -S "$top" -B "$tree" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    ninja -C "$tree" -j 2 bench_store >/dev/null
    local data=$build/bench-store out=$build/bench-out-$bits
    mkdir -p "$data" "$out"
    # A server left running would not be on the chosen core.
    "$top/cmake/wine-prefix.sh" stop "$tree/wineprefix" "$bits"
    "${pin[@]}" "$top/cmake/wine-prefix.sh" start "$tree/wineprefix" "$bits"
    local status=0
    "${pin[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$top/cmake/wine-run.sh" "$tree/wineprefix" "$bits" "$tree/$folder/bench_store.exe" \
        --data "Z:${data//\//\\}" --out "Z:${out//\//\\}" "$@" || status=$?
    "$top/cmake/wine-prefix.sh" stop "$tree/wineprefix" "$bits"
    rm -rf "$out"
    return $status
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), shared with other work; ${pin[*]:-all cores}"
run_bench 64 toolchain-x86_64.cmake bin "$@"
# The portable code, which processors without SSE2 run (and the 32-bit
# build ran everywhere before it chose SSE2 at run time).
echo
VESTIBAR_PORTABLE_CODE=1 run_bench 64 toolchain-x86_64.cmake bin --no-memory "$@" | grep -v '^  met\|^  MISS\|targets'
# The ceiling of the WinBiff figures: the same program with an NKF32.dll
# that only finds each text's length and copies it.
echo
echo "=== the ceiling: WinBiff with an NKF32.dll that only copies:"
run_bench 64 toolchain-x86_64.cmake bench-copy --no-memory "$@" | grep -E '^ *(mode|wb)|bench_store'

if timeout 10 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo
    run_bench 32 toolchain-i686.cmake bin "$@"
else
    echo
    echo "32-bit: this machine's kernel does not run 32-bit code, so the 32-bit build was not measured."
fi
