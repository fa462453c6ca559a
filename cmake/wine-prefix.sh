#!/bin/bash
# wine-prefix.sh start|stop PREFIX BITS
# The setup and cleanup fixtures of the Windows test suites.  The wineserver
# keeps the stdio of whoever starts it, so it is started here with all of it
# detached; otherwise ctest would wait for the server to exit.
set -u
. "$(dirname "$0")/wine-env.sh"
action=$1
vestibar_wine_env "$2" "$3"
case $action in
start)
    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # wineboot also starts the prefix's services (services.exe, winedevice,
    # explorer); started by a test instead, they would hold its output open.
    "$WINELOADER" wineboot.exe </dev/null >/dev/null 2>&1 || { echo "wineboot failed in $WINEPREFIX" >&2; exit 1; }
    if [ ! -f "$WINEPREFIX/.vestibar-ready" ]; then
        # A crashing test must exit rather than wait on a crash dialog, and
        # without a window manager (Xvfb) managed windows wait ~2 s on every hide.
        "$WINELOADER" reg.exe add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 &&
        "$WINELOADER" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 ||
            { echo "could not configure $WINEPREFIX" >&2; exit 1; }
        touch "$WINEPREFIX/.vestibar-ready"
    fi
    ;;
stop)
    "$WINESERVER" -k </dev/null >/dev/null 2>&1
    true
    ;;
*)
    echo "usage: wine-prefix.sh start|stop PREFIX BITS" >&2
    exit 2
    ;;
esac
