#!/bin/bash
# run.sh BUILD OUT: runs the Windows tests of the 32-bit build tree BUILD
# (ctest's tests labelled "wine") under 32-bit Wine inside the qemu guest,
# and leaves in OUT a ctest tree whose tests report each recorded result:
# run `ctest` in OUT afterwards.  Builds the guest image first if needed.
#
# run.sh --check: prints in one line why the guest cannot run on this
# machine and fails, or prints nothing.
#
# Inside the guest the source tree (read-only) and BUILD appear at the paths
# they have here, so a test's command line, arguments and working folder
# hold as they are; only the Wine prefix is the guest's own, ready on the
# image.  The image is booted with snapshot=on: a run changes nothing on it.
# VESTIBAR_GUEST_TIME_LIMIT bounds the whole boot (seconds, default 1800);
# VESTIBAR_GUEST_JOBS is how many tests run at once (default 2, one a vCPU).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

guest_prefix=/opt/vestibar/wineprefix
time_limit=${VESTIBAR_GUEST_TIME_LIMIT:-1800}
default_timeout=600
# Tests run side by side in the guest as ctest -j runs them on the host.
jobs=${VESTIBAR_GUEST_JOBS:-2}

# free_gib PATH: GiB free on the file system that holds PATH (or would).
free_gib() {
    local d=$1
    while [ ! -d "$d" ]; do d=$(dirname "$d"); done
    df -Pk "$d" | awk 'NR == 2 { print int($4 / 1048576) }'
}

check() {
    local tool
    for tool in qemu-system-x86_64 python3 ctest; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed"; return 1; }
    done
    local mem
    mem=$(awk '$1 == "MemAvailable:" { print int($2 / 1048576) }' /proc/meminfo)
    [ "$mem" -ge 5 ] || { echo "only $mem GiB of memory available; the guest takes 4"; return 1; }
    [ "$(free_gib "${TMPDIR:-/var/tmp}")" -ge 1 ] || { echo "less than 1 GiB free in ${TMPDIR:-/var/tmp}"; return 1; }
    bash "$here/build-image.sh" --ready >/dev/null && return 0
    for tool in debootstrap mkfs.ext4; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed (needed to build the guest image)"; return 1; }
    done
    [ "$(id -u)" = 0 ] || { echo "building the guest image needs root"; return 1; }
    local gib
    gib=$(free_gib "$guest_cache")
    [ "$gib" -ge 8 ] || { echo "only $gib GiB free for the guest image in $guest_cache; building it needs 8"; return 1; }
    debian_mirror bookworm >/dev/null || { echo "no Debian mirror in this machine's apt sources to build the guest image from"; return 1; }
}

if [ "${1:-}" = --check ]; then
    check
    exit
fi
[ $# = 2 ] || { echo "usage: run.sh BUILD OUT | run.sh --check" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 1
mkdir -p "$2" && out=$(cd "$2" && pwd) || exit 1
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
[ -d "$source_dir" ] || { echo "run.sh: $build is not a configured build tree" >&2; exit 1; }

started=$SECONDS
image=$(bash "$here/build-image.sh") || exit 1
image_seconds=$((SECONDS - started))

ctl=$out/ctl
rm -rf "$ctl" "$out/console.log" "$out/CTestTestfile.cmake"
mkdir -p "$ctl"
cp "$here/guest-tests.sh" "$ctl/job"
echo "$jobs" >"$ctl/jobs"
count=$(python3 "$here/testlist.py" "$build" "$ctl" "$out" "$guest_prefix" \
    "$here/check-result.sh" "$default_timeout") || exit 1

boot_started=$SECONDS
# The source tree first: the build tree may lie inside it.
guest_boot "$image" "$ctl" "$time_limit" snapshot "$source_dir" ro "$build" rw >"$out/console.log" 2>&1
status=$?
run_seconds=$((SECONDS - boot_started))
[ $status = 124 ] && echo "run.sh: the guest ran out of its $time_limit s; tests without a result fail"
[ -f "$ctl/job.rc" ] || echo "run.sh: the guest did not finish its job (qemu status $status); see $out/console.log"
cat "$ctl/job.log" 2>/dev/null

# Seconds from power-on to the job, and the job's own length (guest clock).
boot=$(cat "$ctl/uptime-start" 2>/dev/null)
job=$(awk 'NR == FNR { s = $1; next } { printf "%.1f", $1 - s }' "$ctl/uptime-start" "$ctl/uptime-end" 2>/dev/null)
if [ "$image_seconds" -gt 5 ]; then image_note="image built in $image_seconds s"; else image_note="image cached"; fi
printf '%s\n' "$image_note; booted to the tests in ${boot:-?} s; $count tests ran in ${job:-?} s; qemu ran $run_seconds s" | tee "$out/times"
