#!/bin/bash
# check-pe.sh BITS FILE...: the PE headers the shipped program must have.
# A GUI-subsystem image of the expected width, with ASLR and DEP enabled.
set -u
bits=$1; shift
if [ "$bits" = 32 ]; then
    objdump=i686-w64-mingw32-objdump; format=pei-i386; magic='010b	(PE32)'
else
    objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64; magic='020b	(PE32+)'
fi
status=0
for file in "$@"; do
    headers=$("$objdump" -p "$file") || { echo "FAIL: cannot read $file"; status=1; continue; }
    check() {
        if ! grep -qF -- "$2" <<<"$headers"; then
            echo "FAIL: $file: $1 (no '$2' in objdump -p)"
            status=1
        fi
    }
    check "file format" "file format $format"
    check "optional header magic" "Magic			$magic"
    case $file in
    *.exe) check "GUI subsystem" "Subsystem		00000002	(Windows GUI)" ;;
    esac
    check "dynamic base" "DYNAMIC_BASE"
    check "NX compatible" "NX_COMPAT"
done
[ $status = 0 ] && echo "PE headers as expected: $*"
exit $status
