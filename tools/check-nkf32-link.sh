#!/bin/bash
# check-nkf32-link.sh BITS PROGRAM DLL: PROGRAM imports SetNkfOption and
# NkfConvert by name from NKF32.dll (not by ordinal, not through decorated
# names), and DLL, an NKF32.dll, exports exactly these two names undecorated,
# so that another NKF32.dll put beside the program can take its place.
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 BITS PROGRAM DLL" >&2
    exit 2
fi
bits=$1 program=$2 dll=$3
if [ "$bits" = 32 ]; then
    objdump=i686-w64-mingw32-objdump; format=pei-i386
else
    objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64
fi
expected="NkfConvert SetNkfOption"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# Sets `headers` to objdump -p FILE, or to nothing when FILE cannot be read
# or is not an image of the build's width.
read_headers() {
    headers=$("$objdump" -p "$1" 2>&1) || { fail "$1: cannot be read: $headers"; headers=; return; }
    grep -qF "file format $format" <<<"$headers" || { fail "$1: not $format"; headers=; }
}

# The import table lists, per DLL, one line per function that ends with its
# name, or with <none> when it is imported by ordinal.
read_headers "$program"
if [ -n "$headers" ]; then
    blocks=$(grep -ciE '^	DLL Name: NKF32\.dll$' <<<"$headers")
    imports=$(awk '
        /^\tDLL Name: / { inside = (tolower($3) == "nkf32.dll"); next }
        inside && /^\tvma:/ { next }
        inside && NF == 0 { inside = 0; next }
        inside { print $NF }' <<<"$headers" | sort | xargs)
    [ "$blocks" = 1 ] || fail "$program: $blocks import entries for NKF32.dll, expected 1"
    [ "$imports" = "$expected" ] ||
        fail "$program: imports from NKF32.dll: [$imports], expected [$expected] by name"
fi

read_headers "$dll"
if [ -n "$headers" ]; then
    grep -qiE '^Name[[:space:]]+[0-9a-f]+ NKF32\.dll$' <<<"$headers" ||
        fail "$dll: its export directory does not name NKF32.dll"
    exports=$(awk '
        /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
        inside && NF == 0 { inside = 0; next }
        inside { print $NF }' <<<"$headers" | sort | xargs)
    [ "$exports" = "$expected" ] || fail "$dll: exports [$exports], expected [$expected]"
fi

[ $status = 0 ] && echo "NKF32.dll linked by name: $program imports, $dll exports [$expected]"
exit $status
