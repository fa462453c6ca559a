#!/bin/bash
# The host side of the fault tests.
#
#   faults-host.sh setup DIR     a 2 MiB tmpfs on DIR/full, where this machine
#                                lets the tests mount one; DIR/state says what
#                                was made, for the tests to read
#   faults-host.sh cleanup DIR   undoes all of it, and anything the tests left
#                                locked below DIR or in the Wine prefix
#   faults-host.sh lock PATH     makes the folder PATH refuse new entries
#   faults-host.sh unlock PATH   and lets it take them again
#
# The fixtures call setup and cleanup; the tests call lock and unlock from
# inside Wine.  A folder is locked with the immutable attribute, because the
# tests run as root under Wine, where neither the read-only attribute nor
# the permission bits stop anyone from creating files; an immutable folder
# refuses root too, and Wine reports that as access denied (code 5), as
# Windows does for a folder whose permissions deny writing.
set -u
action=${1:-}
target=${2:-}
[ -n "$target" ] || { echo "usage: faults-host.sh setup|cleanup DIR | lock|unlock PATH" >&2; exit 2; }

case $action in
setup)
    mkdir -p "$target/full" || exit 1
    mountpoint -q "$target/full" && umount "$target/full"
    if reason=$(mount -t tmpfs -o size=2m,mode=0777 vestibar-faults "$target/full" 2>&1); then
        echo "full: mounted" >"$target/state"
    else
        echo "full: not mounted (mount -t tmpfs refused: ${reason//$'\n'/ })" >"$target/state"
        echo "full-disk tests will skip: cannot mount a tmpfs here: $reason"
    fi
    ;;
cleanup)
    # An immutable folder left behind could not even be deleted.
    for place in "$target" "$target/../wineprefix/drive_c/users"; do
        [ -d "$place" ] && chattr -R -i "$place" 2>/dev/null
    done
    if mountpoint -q "$target/full"; then
        umount "$target/full" || exit 1
    fi
    rm -rf "$target"
    ;;
lock)
    chattr +i "$target"
    ;;
unlock)
    chattr -i "$target"
    ;;
*)
    echo "faults-host.sh: unknown action $action" >&2
    exit 2
    ;;
esac
