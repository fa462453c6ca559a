#!/bin/bash
# build.sh TREE...: configures and builds the Windows trees named (win64,
# win32) under $VESTIBAR_BUILD (default build/), with the settings of
# tools/run-tests.sh, but only what the demo and the release need: the
# program, NKF32.dll and the demo's driver.  The tree "export" is the native
# vestibar-export, configured as the README's install command does.  Quiet;
# a failure prints its log.
set -uo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
jobs=${VESTIBAR_JOBS:-2}
mkdir -p "$build/logs"

for tree in "$@"; do
    if [ "$tree" = export ]; then
        log=$build/logs/build-export.log
        if ! { cmake -S "$top" -B "$build/export" &&
               cmake --build "$build/export" --target vestibar-export -j "$jobs"; } >"$log" 2>&1; then
            echo "=== building vestibar-export FAILED; its log ($log):" >&2
            cat "$log" >&2
            exit 1
        fi
        continue
    fi
    case $tree in
    win64) toolchain=toolchain-x86_64.cmake ;;
    win32) toolchain=toolchain-i686.cmake ;;
    *) echo "build.sh: unknown tree $tree (win64, win32 or export)" >&2; exit 2 ;;
    esac
    log=$build/logs/build-$tree-program.log
    if ! { cmake -S "$top" -B "$build/$tree" -G Ninja \
               -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
           ninja -C "$build/$tree" -j "$jobs" vestibar nkf32 demo_driver; } >"$log" 2>&1; then
        echo "=== building $tree FAILED; its log ($log):" >&2
        cat "$log" >&2
        exit 1
    fi
done
