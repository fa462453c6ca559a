#!/bin/bash
# The host side of the fault tests, run by the fixtures before and after the
# test program (never from inside Wine, where a Unix program started by a
# Windows one now and then never runs).
#
#   faults-host.sh setup DIR     a 2 MiB tmpfs on DIR/full, and folders under
#                                DIR/locked that refuse new entries, where
#                                this machine allows them; DIR/state says
#                                what was made, for the tests to read
#   faults-host.sh cleanup DIR   undoes all of it
#
# A folder is locked with the immutable attribute: the tests run as root
# under Wine, where neither the read-only attribute nor the permission bits
# stop anyone from creating files; an immutable folder refuses root too, and
# Wine reports that as access denied (code 5), as Windows does for a folder
# whose permissions deny writing.  The locked folders:
#   locked/eml/                .eml files cannot be made in it
#   locked/user/From MS-IM/    a WinBiff folder that takes no folder file
#   locked/gone/               a WinBiff user directory that takes no folder
set -u
action=${1:-}
target=${2:-}
[ -n "$target" ] || { echo "usage: faults-host.sh setup|cleanup DIR" >&2; exit 2; }

case $action in
setup)
    [ -d "$target" ] && chattr -R -i "$target" 2>/dev/null
    mkdir -p "$target/full" || exit 1
    mountpoint -q "$target/full" && umount "$target/full"
    if reason=$(mount -t tmpfs -o size=2m,mode=0777 vestibar-faults "$target/full" 2>&1); then
        echo "full: mounted" >"$target/state"
    else
        echo "full: not mounted (mount -t tmpfs refused: ${reason//$'\n'/ })" >"$target/state"
        echo "full-disk tests will skip: cannot mount a tmpfs here: $reason"
    fi
    rm -rf "$target/locked"
    mkdir -p "$target/locked/eml" "$target/locked/user/From MS-IM" "$target/locked/gone" || exit 1
    if reason=$(chattr +i "$target/locked/eml" "$target/locked/user/From MS-IM" "$target/locked/gone" 2>&1); then
        echo "locked: yes" >>"$target/state"
    else
        echo "locked: no (chattr +i refused: ${reason//$'\n'/ })" >>"$target/state"
        echo "locked-folder tests will skip: $reason"
    fi
    ;;
cleanup)
    [ -d "$target" ] && chattr -R -i "$target" 2>/dev/null
    if mountpoint -q "$target/full"; then
        umount "$target/full" || exit 1
    fi
    rm -rf "$target"
    ;;
*)
    echo "faults-host.sh: unknown action $action" >&2
    exit 2
    ;;
esac
