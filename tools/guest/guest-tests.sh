#!/bin/bash
# The guest's side of a test run (the job that the guest's init runs; see
# run.sh).  Runs the tests that testlist.py put in the job share, in their
# order, under one Xvfb, up to CTL/jobs of them at a time (as ctest -j does on
# the host), and records each one's output, exit code and time beside it,
# synced at once so that a run cut short keeps what it had.
set -u
ctl=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
export HOME=/root USER=root LOGNAME=root
jobs=$(cat "$ctl/jobs" 2>/dev/null || echo 1)
# Fixtures whose setup failed, one a line; their tests are not run.
failed_fixtures=$ctl/failed-fixtures
: >"$failed_fixtures"

run_test() {
    local folder=$1 name fixture
    name=$(<"$folder/name")
    while read -r fixture; do
        if [ -n "$fixture" ] && grep -qxF -- "$fixture" "$failed_fixtures"; then
            echo "not run: its fixture $fixture failed" >"$folder/note"
            echo "[$name] not run (fixture $fixture failed)"
            return
        fi
    done <"$folder/requires"
    local argv assignments seconds cwd started rc elapsed
    mapfile -d '' argv <"$folder/argv"
    mapfile -d '' assignments <"$folder/env"
    seconds=$(<"$folder/timeout")
    cwd=$(<"$folder/cwd")
    : >"$folder/started"
    started=$(date +%s%N)
    (cd "$cwd" && exec env "${assignments[@]}" timeout -k 10 "$seconds" "${argv[@]}") >"$folder/out" 2>&1 </dev/null
    rc=$?
    elapsed=$((($(date +%s%N) - started) / 1000000))
    [ $rc = 124 ] && echo "timed out after $seconds s" >"$folder/note"
    printf '%d.%03d\n' $((elapsed / 1000)) $((elapsed % 1000)) >"$folder/seconds"
    echo $rc >"$folder/rc"
    sync
    echo "[$name] exit $rc in $(<"$folder/seconds") s"
    if [ $rc != 0 ]; then
        cat "$folder/provides" >>"$failed_fixtures"
    fi
}

# The scheduler: tests marked alone run with nothing beside them; the others
# start in their order as slots come free, passing over one whose
# RESOURCE_LOCK a running test holds.
declare -A running=()  # pid -> the locks it holds, " a b "
locks_of() { echo " $(tr '\n' ' ' <"$1/locks")"; }
reap() {
    local pid=
    wait -n -p pid
    if [ -n "$pid" ]; then unset "running[$pid]"; else running=(); fi
}
clashes() {
    local lock held=" ${running[*]} "
    for lock in $(<"$1/locks"); do
        [[ $held == *" $lock "* ]] && return 0
    done
    return 1
}
pending=("$ctl"/tests/*/)
pending=("${pending[@]%/}")
while [ ${#pending[@]} -gt 0 ]; do
    folder=${pending[0]}
    if [ "$(<"$folder/schedule")" != parallel ] || [ "$jobs" -le 1 ]; then
        while [ ${#running[@]} -gt 0 ]; do reap; done
        run_test "$folder"
        pending=("${pending[@]:1}")
        continue
    fi
    pick=
    if [ ${#running[@]} -lt "$jobs" ]; then
        for i in "${!pending[@]}"; do
            [ "$(<"${pending[$i]}/schedule")" = parallel ] || break
            clashes "${pending[$i]}" || { pick=$i; break; }
        done
    fi
    if [ -z "$pick" ]; then
        reap
        continue
    fi
    run_test "${pending[$pick]}" &
    running[$!]=$(locks_of "${pending[$pick]}")
    pending=("${pending[@]:0:pick}" "${pending[@]:pick+1}")
done
while [ ${#running[@]} -gt 0 ]; do reap; done
