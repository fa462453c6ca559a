#!/bin/bash
# The README's first command: Vestibar at work on a sample MS-IM store.
#
#   bash tools/demo.sh [--headless]
#
# Installs what is missing, builds the program, writes a sample store of
# Japanese mail and registers it in a Wine prefix of its own (build/demo/),
# as MS-IM and WinBiff would have registered theirs.  With a display, starts
# vestibar.exe on it for you to try; without one (or with --headless) runs
# one Run in each output mode under Xvfb and prints what came out.  Before
# that, vestibar-export, the native command-line exporter, lists a sample
# store and exports it into mbox files and a Maildir (tools/demo-export.sh).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
case ${1:-} in
""|--headless) ;;
*) echo "usage: tools/demo.sh [--headless]" >&2; exit 2 ;;
esac

bash "$top/tools/install-deps.sh"
echo "Building vestibar.exe and NKF32.dll (32-bit and 64-bit) in $build ..."
bash "$top/tools/build.sh" win32 win64
echo "Building vestibar-export, the native command-line exporter, in $build/export ..."
bash "$top/tools/build.sh" export
echo
echo "=== vestibar-export on a sample store, natively (no Wine):"
bash "$top/tools/demo-export.sh" "$build/export/export/vestibar-export" "$build/demo/export"
echo
echo "=== vestibar.exe, the Windows program:"

# The product is the 32-bit program; the 32-bit Wine loader does not start
# where the kernel cannot run 32-bit code.
if timeout 10 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    tree=win32 bits=32
    echo "32-bit Wine runs here: the demo runs the 32-bit vestibar.exe, the product."
else
    tree=win64 bits=64
    echo "32-bit Wine does not run on this machine: the demo runs the 64-bit build of the same source."
fi
exec bash "$top/tools/demo-run.sh" "$@" "$build/$tree/bin" "$bits" "$build/demo"
