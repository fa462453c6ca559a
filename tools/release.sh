#!/bin/bash
# The release zip: what a Windows user unpacks and runs.
#
#   bash tools/release.sh
#       builds the 32-bit program and NKF32.dll (build/win32) and packs
#       build/vestibar-VERSION.zip, then checks it as the test does.
#   bash tools/release.sh --check BINDIR WORKDIR
#       packs the programs of BINDIR into WORKDIR and checks the zip (the
#       test "release_zip" of the 32-bit tree).
#
# The zip holds vestibar.exe, NKF32.dll and readme.txt, the Japanese user
# guide docs/readme-ja.md in Shift_JIS with CR LF line ends, for Notepad.
# VERSION is the program's own, from its version record.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
guide=$top/docs/readme-ja.md
version=$(sed -n 's/^ *VALUE "FileVersion", "\([0-9.]*\)".*/\1/p' "$top/res/vestibar.rc")
if [ -z "$version" ]; then
    echo "release: no FileVersion in res/vestibar.rc" >&2
    exit 1
fi
names="NKF32.dll readme.txt vestibar.exe"

# pack BINDIR ZIP: the zip, the same bytes for the same inputs (files in a
# fixed order, fixed times, no extra attributes).
pack() {
    local bin=$1 zip=$2
    local stage
    stage=$(mktemp -d)
    cp "$bin/vestibar.exe" "$bin/NKF32.dll" "$stage/"
    python3 - "$guide" "$stage/readme.txt" <<'EOF'
import sys
text = open(sys.argv[1], encoding='utf-8').read()
if '\r' in text:
    sys.exit('release: %s holds a CR' % sys.argv[1])
for number, line in enumerate(text.split('\n'), 1):
    try:
        line.encode('shift_jis')
    except UnicodeEncodeError as error:
        sys.exit('release: %s line %d: %r has no Shift_JIS code' % (sys.argv[1], number, line[error.start]))
open(sys.argv[2], 'wb').write(text.replace('\n', '\r\n').encode('shift_jis'))
EOF
    (cd "$stage" && touch -d '2000-01-01 00:00:00' $names && rm -f "$zip" && TZ=UTC zip -q -X "$zip" $names)
    rm -rf "$stage"
}

# check ZIP: unpacks it and checks its names, the programs' width and the
# readme's code; every failure says what was found and what was expected.
check() {
    local zip=$1 status=0
    local unpacked
    unpacked=$(mktemp -d)
    fail() { echo "FAIL: $zip: $*"; status=1; }

    local listed
    listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [ "$listed" = "$names " ] || fail "holds [$listed], expected [$names ]"
    unzip -q "$zip" -d "$unpacked"

    local file format
    for file in vestibar.exe NKF32.dll; do
        [ -f "$unpacked/$file" ] || continue
        format=$(i686-w64-mingw32-objdump -f "$unpacked/$file" 2>&1 | sed -n 's/.*file format //p') || true
        [ "$format" = pei-i386 ] || fail "$file: file format '$format', expected 'pei-i386' (32-bit)"
    done
    # The program finds the DLL by the name it imports.
    # (The listing is taken whole: grep -q would cut the pipe short.)
    local imports
    imports=$(i686-w64-mingw32-objdump -p "$unpacked/vestibar.exe" 2>&1 | grep 'DLL Name:') || true
    grep -qx '[[:space:]]*DLL Name: NKF32.dll' <<<"$imports" ||
        fail "vestibar.exe imports [$(echo $imports)], expected NKF32.dll among them"

    local readme=$unpacked/readme.txt
    if [ -f "$readme" ]; then
        local decoded
        if ! decoded=$(iconv -f SHIFT_JIS -t UTF-8 "$readme" | tr -d '\r'); then
            fail "readme.txt does not decode as Shift_JIS"
        elif [ "$decoded" != "$(cat "$guide")" ]; then
            fail "readme.txt, decoded, differs from docs/readme-ja.md (< readme.txt, > guide):"
            diff <(printf '%s\n' "$decoded") "$guide" | head -n 20
        fi
        # Every line ends in CR LF, and there is no other CR.
        local lines crlf crs
        lines=$(tr -cd '\n' <"$readme" | wc -c)
        crlf=$(grep -c $'\r$' "$readme" || true)
        crs=$(tr -cd '\r' <"$readme" | wc -c)
        [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] && [ "$crs" = "$lines" ] ||
            fail "readme.txt: $lines line ends, $crlf of them CR LF, $crs CRs in all; expected every line end CR LF and no other CR"
    fi
    rm -rf "$unpacked"

    # The README shows the same guide to its readers.
    local shown
    shown=$(sed -n '/^<!-- readme-ja:/,/^<!-- \/readme-ja -->/p' "$top/README.md" | sed '1d;$d')
    if [ "$shown" != "$(sed 's/^#/##/' "$guide")" ]; then
        fail "README.md's Japanese section is not docs/readme-ja.md one heading level down (< README, > guide):"
        diff <(printf '%s\n' "$shown") <(sed 's/^#/##/' "$guide") | head -n 20
    fi
    [ $status = 0 ] && echo "$zip: $names; 32-bit programs; readme.txt in Shift_JIS with CR LF, as in README.md"
    return $status
}

if [ "${1:-}" = --check ] && [ $# = 3 ]; then
    mkdir -p "$3"
    out=$(cd "$3" && pwd)/vestibar-$version.zip
    pack "$2" "$out"
    check "$out"
    exit
fi
if [ $# != 0 ]; then
    echo "usage: tools/release.sh | tools/release.sh --check BINDIR WORKDIR" >&2
    exit 2
fi

build=${VESTIBAR_BUILD:-$top/build}
bash "$top/tools/install-deps.sh"
bash "$top/tools/build.sh" win32
out=$build/vestibar-$version.zip
pack "$build/win32/bin" "$out"
check "$out"
unzip -l "$out"
