#!/bin/bash
# check-result.sh FOLDER: one test's result as recorded in the guest (see
# testlist.py): prints its output and exits with its exit code.
folder=$1
[ -f "$folder/started" ] && cat "$folder/out" 2>/dev/null
if [ -f "$folder/rc" ]; then
    rc=$(<"$folder/rc")
    if [ "$rc" != 0 ]; then
        echo "--- exit code $rc in the 32-bit guest after $(cat "$folder/seconds" 2>/dev/null) s"
        cat "$folder/note" 2>/dev/null
    fi
    exit "$rc"
fi
if [ -f "$folder/note" ]; then
    echo "--- $(<"$folder/note")"
else
    job=$(dirname "$(dirname "$folder")")
    if [ -f "$folder/started" ]; then
        echo "--- no result: the guest stopped while this test ran (out of time, or it crashed)."
    else
        echo "--- no result: the guest did not run this test (it did not boot, crashed or ran out of time)."
    fi
    echo "--- the guest's console (last lines) and job log:"
    tail -n 20 "$job/../console.log" 2>/dev/null
    tail -n 20 "$job/job.log" 2>/dev/null
fi
exit 1
