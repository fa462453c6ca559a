#!/bin/bash
# demo-run.sh [--headless | --shots OUTDIR] BINDIR BITS WORKDIR
# The demo once the program is built: tools/demo.sh builds it and comes here,
# the test "demo" comes here with the 64-bit tree, tools/screenshots.sh with
# --shots.  BINDIR holds vestibar.exe, NKF32.dll and demo_driver.exe of one
# width; BITS says which (32 or 64).
#
# Writes a fresh sample store into WORKDIR/sample and registers it in the
# Wine prefix WORKDIR/wineprefix-BITS as MS-IM and WinBiff leave their
# settings.  Then:
#   (default)   starts vestibar.exe on the display for the user to try; with
#               no display reachable it goes on as with --headless;
#   --headless  runs it under Xvfb, driven by demo_driver.exe, which prints
#               the summaries, where the output went and a few converted
#               lines; the exit code is the driver's;
#   --shots     the same under Xvfb over a store with a big mailbox, taking
#               a PNG picture of each window into OUTDIR (needs `import`).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
mode=gui
session=0
shots=
while [ $# -gt 0 ]; do
    case $1 in
    --headless) mode=headless; shift ;;
    --shots) mode=shots; shots=$2; shift 2 ;;
    --session) session=1; shift ;;  # inside the Xvfb that this script started
    *) break ;;
    esac
done
if [ $# -ne 3 ]; then
    echo "usage: demo-run.sh [--headless | --shots OUTDIR] BINDIR BITS WORKDIR" >&2
    exit 2
fi
bin=$(cd "$1" && pwd)
bits=$2
mkdir -p "$3"
work=$(cd "$3" && pwd)
sample=$work/sample
prefix=$work/wineprefix-$bits
if [ -n "$shots" ]; then
    mkdir -p "$shots"
    shots=$(cd "$shots" && pwd)
fi

# The same folder as Wine's programs see it, through drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# display_reachable: $DISPLAY names an X server that answers.
display_reachable() {
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then
        timeout 10 xdpyinfo >/dev/null 2>&1
        return
    fi
    # Without xdpyinfo, a local display must at least have its socket.
    case $DISPLAY in
    :*) local n=${DISPLAY#:}; [ -S "/tmp/.X11-unix/X${n%%.*}" ] ;;
    *) true ;;
    esac
}

if [ $session = 0 ] && [ $mode = gui ] && ! display_reachable; then
    echo "No display reachable (DISPLAY='${DISPLAY:-}'): the demo runs headless under Xvfb instead."
    mode=headless
fi
if [ $session = 0 ] && [ $mode != gui ]; then
    again=(--headless)
    [ $mode = headless ] || again=(--shots "$shots")
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --session "${again[@]}" "$bin" "$bits" "$work"
fi

for file in vestibar.exe NKF32.dll demo_driver.exe; do
    [ -f "$bin/$file" ] || { echo "demo-run: $bin/$file is missing; build first (tools/demo.sh)" >&2; exit 1; }
done

wine_run() { "$top/cmake/wine-run.sh" "$prefix" "$bits" "$@" </dev/null; }
reg_add() { wine_run reg.exe add "$@" /f >/dev/null 2>&1; }
# Wine's one remark about the file dialog's look at drive Z: is noise here.
quiet_wine() { grep -v 'FS volume label and serial are not available' >&2; }

# A fresh store each time: the program never overwrites its output.  The
# pictures want a run that lasts: a big mailbox joins the sample.
rm -rf "$sample"
bulk=()
[ $mode = shots ] && bulk=(--bulk 20000)
python3 "$top/tools/sample/make_sample_store.py" "${bulk[@]}" "$sample" "$(windows_path "$sample")"
mkdir -p "$sample/eml"

# The prefix's server is started here, on this display, and stopped at the
# end; one left from an earlier demo may hold another display.
"$top/cmake/wine-prefix.sh" stop "$prefix" "$bits"
if ! "$top/cmake/wine-prefix.sh" start "$prefix" "$bits"; then
    echo "demo-run: could not set up the Wine prefix $prefix" >&2
    exit 1
fi
trap '"$top/cmake/wine-prefix.sh" stop "$prefix" "$bits"' EXIT

# Debian's Wine looks for its own fonts in a folder that does not exist, so
# the title bars' buttons lack their symbol font; fonts-wine has it, and a
# prefix takes fonts from its Windows folder.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
fi

# As MS-IM and WinBiff leave the registry on a Windows machine.
reg_add 'HKCU\Software\Microsoft\Internet Mail and News' /v 'Store Root' /t REG_SZ /d "$(windows_path "$sample/Store")"
reg_add 'HKCU\Software\Orangesoft\Winbiff\Recent File List' /v File1 /t REG_SZ /d "$(windows_path "$sample/Winbiff/winbiff.ini")"

if [ $mode != gui ]; then
    # Under Xvfb there is no window manager to wait for.
    reg_add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
    program=$(windows_path "$bin/vestibar.exe")
fi

if [ $mode = headless ]; then
    echo "vestibar.exe ($bits-bit build) under $bits-bit Wine, headless (Xvfb), driven by demo_driver.exe:"
    echo
    status=0
    # Through a pipe, not Wine's console: the terminal gets the UTF-8 as it is.
    wine_run "$bin/demo_driver.exe" demo "$program" "$(windows_path "$sample")" 2> >(quiet_wine) | cat || status=$?
    echo
    echo "The sample store and everything written are in $sample"
    exit $status
fi

if [ $mode = shots ]; then
    # The driver names each window with its place on the screen and waits
    # for the picture; a picture appears under its final name only whole.
    status=0
    wine_run "$bin/demo_driver.exe" shots "$program" "$(windows_path "$shots")" 2> >(quiet_wine) |
        while read -r tag name x y w h; do
            if [ "$tag" != SHOT ]; then
                echo "$tag $name $x $y $w $h"
                continue
            fi
            import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$name.tmp.png"
            mv "$shots/$name.tmp.png" "$shots/$name.png"
            echo "$name.png: ${w}x${h}"
        done || status=$?
    exit $status
fi

# On the user's display the window manager frames the windows as usual.
wine_run reg.exe delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
cat <<EOF
Starting vestibar.exe ($bits-bit build) under $bits-bit Wine on display $DISPLAY.

  MS-IM store (registered as "Store Root"):  $sample/Store
      Inbox.mbx (ISO-2022-JP), Sent Items.mbx (EUC-JP), Archive.mbx (Shift_JIS, no index)
  WinBiff user directory (from its winbiff.ini):  $sample/Winbiff/User

Try: 実行 (Run) writes WinBiff folder files into .../Winbiff/User/From MS-IM/.
"*.eml" ファイルとして出力する, then 実行, asks where to put exp00001.eml, ...
(the save dialog opens in $sample/eml).  Drop .mbx files on the window to
convert just those.  The About box is in the window's system menu.
A second Run into WinBiff meets the folder files of the first and stops:
Vestibar never overwrites.  Run this command again for a fresh sample.
Close the window (終了) to end the demo.
EOF
cd "$sample/eml"
wine_run "$bin/vestibar.exe" 2> >(quiet_wine) || true
written=$(cd "$sample" && find Winbiff/User eml -type f | sort | sed 's/^/  /')
echo
echo "Written into $sample:"
echo "${written:-  nothing}"
