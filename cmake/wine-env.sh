# Sourced by the Wine wrappers: the environment every test program runs in.
# $1: the Wine prefix (a folder inside the build tree), $2: 64 or 32.
vestibar_wine_env() {
    export WINEPREFIX="$1"
    if [ "$2" = 32 ]; then
        export WINEARCH=win32
        export WINELOADER=/usr/lib/wine/wine
        export WINESERVER=/usr/lib/wine/wineserver32
    else
        unset WINEARCH
        # Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is
        # installed, so the 64-bit loader is called directly.
        export WINELOADER=/usr/lib/wine/wine64
        export WINESERVER=/usr/lib/wine/wineserver64
    fi
    # ja_JP makes the ANSI code page 932 and the system texts Japanese.
    export LANG=ja_JP.UTF-8
    unset LC_ALL LANGUAGE
    export WINEDEBUG=-all
    # No Mono or Gecko prompts, nothing written to the home folder.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
}
