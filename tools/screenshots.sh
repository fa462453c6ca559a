#!/bin/bash
# screenshots.sh: the pictures of the README, docs/screenshots/*.png: the
# main window, the About box, the progress window during a run and a
# summary box, taken under Xvfb from the program running under Wine over the
# demo's sample store (tools/demo-run.sh --shots).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
out=$top/docs/screenshots

bash "$top/tools/install-deps.sh"
# ImageMagick takes and trims the pictures; only this script needs it.
if ! command -v import >/dev/null 2>&1; then
    sudo=
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: imagemagick"
    $sudo apt-get install -y -q --no-install-recommends imagemagick >/dev/null
fi
bash "$top/tools/build.sh" win32 win64
if timeout 10 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    tree=win32 bits=32
else
    tree=win64 bits=64
fi
echo "Pictures of the $bits-bit vestibar.exe under $bits-bit Wine ..."
raw=$build/demo/shots
rm -rf "$raw"
bash "$top/tools/demo-run.sh" --shots "$raw" "$build/$tree/bin" "$bits" "$build/demo"

# Without metadata (dates): the same pictures give the same files.
mkdir -p "$out"
for name in main about progress summary; do
    convert "$raw/$name.png" -strip -define png:exclude-chunks=date,time "$out/$name.png"
done
ls -l "$out"
