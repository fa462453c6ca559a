#!/bin/bash
# Static analysis of the product code (src/, nkf32/, store/, common/) with cppcheck and
# clang-tidy; a stage of tools/run-tests.sh.
#
#   tools/analysis/run.sh BUILD
#
# BUILD holds the MinGW trees win64 (and win32, when it is there), configured
# with CMAKE_EXPORT_COMPILE_COMMANDS=ON; clang-tidy reads their compile
# commands and parses the code as clang for the MinGW targets, with the
# MinGW compilers' own C++ headers.  Checks: tools/analysis/clang-tidy.yaml and
# tools/analysis/cppcheck-suppressions.txt.  Prints every finding and exits
# 1 when there is any; prints nothing otherwise.
set -uo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
jobs=${VESTIBAR_JOBS:-2}
here=$top/tools/analysis
findings=$(mktemp)
trap 'rm -f "$findings"' EXIT

# --- cppcheck: both builds' configurations -----------------------------------
common=(--std=c++17 --language=c++ --library=windows --enable=warning,style,performance,portability
        --library="$here/cppcheck-win32.cfg" --inline-suppr --quiet
        --suppressions-list="$here/cppcheck-suppressions.txt"
        --template='{file}:{line}: {severity} ({id}): {message}'
        -DWIN32_LEAN_AND_MEAN -DSTRICT -D_WIN32_WINNT=0x0501 -DWINVER=0x0501 -D_WIN32
        -I"$top/src/app" -I"$top/src/convert" -I"$top/src/run" -I"$top/res" -I"$top/nkf32" -I"$top/nkf32/core" -I"$top/store" -I"$top/common")
cppcheck "${common[@]}" --platform=win64 -D_WIN64 -D__x86_64__ -D__SSE2__ "$top/src" "$top/nkf32" "$top/store" "$top/common" >>"$findings" 2>&1
cppcheck "${common[@]}" --platform=win32A -D__i386__ "$top/src" "$top/nkf32" "$top/store" "$top/common" >>"$findings" 2>&1

# --- clang-tidy: every product file of each MinGW tree -------------------------
tidy_tree() {
    local tree=$1 target=$2 compiler=$3
    [ -f "$tree/compile_commands.json" ] || { echo "no $tree/compile_commands.json" >>"$findings"; return; }
    local includes=()
    while read -r dir; do
        includes+=("--extra-arg=-isystem$dir")
    done < <("$compiler" -xc++ -E -v /dev/null 2>&1 |
             sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '/include/c++')
    python3 - "$tree/compile_commands.json" "$top" <<'PY' |
import json, sys
top = sys.argv[2]
for entry in json.load(open(sys.argv[1])):
    if entry["file"].startswith((top + "/src/", top + "/nkf32/", top + "/store/", top + "/common/")):
        print(entry["file"])
PY
    xargs -P "$jobs" -I{} clang-tidy -p "$tree" --quiet --config-file="$here/clang-tidy.yaml" \
        --extra-arg=--target="$target" "${includes[@]}" {} 2>/dev/null |
        grep -E '(warning|error):' >>"$findings"
}
tidy_tree "$build/win64" x86_64-w64-mingw32 x86_64-w64-mingw32-g++-posix
[ -d "$build/win32" ] && tidy_tree "$build/win32" i686-w64-mingw32 i686-w64-mingw32-g++-posix

if [ -s "$findings" ]; then
    sort -u "$findings"
    echo "static analysis: $(sort -u "$findings" | wc -l) findings"
    exit 1
fi
