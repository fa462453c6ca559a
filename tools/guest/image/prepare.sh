#!/bin/bash
# The job of a new image's first boot: finishes the packages that could not
# be configured while the image was built (their scripts run 32-bit code),
# then makes the 32-bit Wine prefix with the project's own fixture, so that
# every later boot finds it ready.  The fixture's scripts are in the job share.
set -euo pipefail
ctl=$(cd "$(dirname "$0")" && pwd)
prefix=/opt/vestibar/wineprefix

if [ "${1:-}" != prefix ]; then
    dpkg --configure -a
    left=$(dpkg --audit)
    if [ -n "$left" ]; then
        echo "packages left unconfigured:"
        echo "$left"
        exit 1
    fi
    # Programs that make windows need a display, wineboot among them.
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" prefix
fi

. "$ctl/cmake/wine-env.sh"
vestibar_wine_env "$prefix" 32
echo "Wine: $("$WINELOADER" --version)"
bash "$ctl/cmake/wine-prefix.sh" start "$prefix" 32
bash "$ctl/cmake/wine-prefix.sh" stop "$prefix" 32
# The registry is written when the server goes.
"$WINESERVER" -w
test -f "$prefix/system.reg" && test -f "$prefix/user.reg"
grep -q '"ShowCrashDialog"=dword:00000000' "$prefix/user.reg"
grep -q '"Managed"="N"' "$prefix/user.reg"
echo "prefix ready: $(du -sh "$prefix" | cut -f1)"
