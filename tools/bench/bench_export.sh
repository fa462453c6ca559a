#!/bin/bash
# Builds vestibar-export as the README's install command does (an optimised
# native build in build/export) with bench_export beside it, and measures
# the exporter against its file-system floor at 50, 100 and 200 MiB.
#
#   tools/bench/bench_export.sh [bench_export options...]
#
# VESTIBAR_BUILD picks the build folder (default build/); the stores (the
# same as run-store-bench.sh's, about 350 MB, made once) and the outputs go
# under it.  A few minutes on two cores.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
tree=$build/export
log=$build/logs/bench-export-build.log
mkdir -p "$build/logs"
if ! { cmake -S "$top" -B "$tree" -DVESTIBAR_BENCH=ON &&
       cmake --build "$tree" --target vestibar-export bench_export -j "${VESTIBAR_JOBS:-2}"; } >"$log" 2>&1; then
    echo "=== building FAILED; its log ($log):" >&2
    cat "$log" >&2
    exit 1
fi
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), shared with other work"
echo "file system of $build: $(df -T "$build" | awk 'NR == 2 { print $2 }')"
exec "$tree/tools/bench/bench_export" --program "$tree/export/vestibar-export" \
    --data "$build/bench-export" --out "$build/bench-export-out" "$@"
