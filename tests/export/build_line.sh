#!/bin/bash
# The README's build-and-install line, taken from the README as written, on
# a tree that has no GoogleTest (as on a machine with only the packages the
# README names): it must build vestibar-export and install it with its
# manual page.
#
#   build_line.sh SOURCE_DIR WORK
set -uo pipefail
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
line=$(grep -m1 -E '^    cmake -S \. -B build/export ' "$src/README.md" | sed 's/^ *//')
if [ -z "$line" ]; then
    echo "FAIL: the README has no line starting 'cmake -S . -B build/export'"
    exit 1
fi
# Run in a copy of the line with its tree under WORK, no GoogleTest, and an
# install prefix inside WORK.
run=${line//build\/export/$work\/tree}
run=${run/cmake -S . -B $work\/tree/cmake -S . -B $work\/tree -DGOOGLETEST_SOURCE=/nonexistent}
run="$run --prefix $work/prefix"
echo "+ $run"
if ! (cd "$src" && eval "$run") >"$work/log" 2>&1; then
    echo "FAIL: the README's line failed; its output:"
    cat "$work/log"
    exit 1
fi
status=0
for file in bin/vestibar-export share/man/man1/vestibar-export.1; do
    [ -f "$work/prefix/$file" ] || { echo "FAIL: $file was not installed (expected under $work/prefix)"; status=1; }
done
version=$("$work/prefix/bin/vestibar-export" --version 2>&1)
case $version in
    "vestibar-export "*) ;;
    *) echo "FAIL: installed vestibar-export --version said '$version', expected 'vestibar-export VERSION'"; status=1 ;;
esac
grep -q '^VESTIBAR_TESTS:BOOL=ON' "$work/tree/CMakeCache.txt" &&
    { echo "FAIL: the tree without GoogleTest configured its tests"; status=1; }
[ $status = 0 ] && echo "the README's line built and installed vestibar-export ($version) without GoogleTest"
exit $status
