#!/bin/bash
# Builds everything and runs every test: the 64-bit build under 64-bit Wine,
# the 32-bit build under 32-bit Wine (in a qemu guest where this machine
# cannot run 32-bit code; VESTIBAR_SKIP_GUEST=1 skips that), and the
# portable code natively under the sanitizers and libFuzzer.
# Quiet on success (one line a stage); prints the whole log of a failure.
set -uo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${VESTIBAR_BUILD:-$top/build}
logs=$build/logs
jobs=${VESTIBAR_JOBS:-2}
mkdir -p "$logs"

bash "$top/tools/install-deps.sh" || exit 1

failed_stages=0
total_passed=0
total_failed=0

# run_stage NAME COMMAND...: runs a command with its output in a log.
run_stage() {
    local name=$1; shift
    local log=$logs/$name.log
    if "$@" >"$log" 2>&1; then
        return 0
    fi
    echo "=== $name FAILED; its log ($log):"
    cat "$log"
    failed_stages=$((failed_stages + 1))
    return 1
}

configure_and_build() {
    local dir=$1; shift
    cmake -S "$top" -B "$build/$dir" -G Ninja "$@" && ninja -C "$build/$dir" -j "$jobs"
}

# run_ctest NAME DIR [CTEST ARGS...]: one test tree; adds its counts.  The
# Windows trees run inside Xvfb: programs that make windows need a display.
run_ctest() {
    local name=$1 dir=$2; shift 2
    local log=$logs/$name.log
    local display=()
    case $dir in win*) display=(xvfb-run -a -s "-screen 0 1280x1024x24") ;; esac
    (cd "$build/$dir" && "${display[@]}" ctest --output-on-failure -j "$jobs" "$@") >"$log" 2>&1
    local status=$?
    local line
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local failed total
        failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        total_passed=$((total_passed + total - failed))
        total_failed=$((total_failed + failed))
    fi
    if [ $status -ne 0 ] || [ -z "$line" ]; then
        echo "=== $name FAILED; its log ($log):"
        cat "$log"
        failed_stages=$((failed_stages + 1))
        [ -n "$line" ] || total_failed=$((total_failed + 1))
        return 1
    fi
    echo "$name: $line"
}

# The compile commands are for the static analysis (tools/analysis/).
run_stage build-win64 configure_and_build win64 \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
run_stage build-win32 configure_and_build win32 \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
run_stage build-native configure_and_build native \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVESTIBAR_SANITIZE=ON -DVESTIBAR_FUZZ=ON

if [ $failed_stages -eq 0 ]; then
    # cppcheck and clang-tidy over src/ and nkf32/: any finding is a failure.
    if run_stage analysis bash "$top/tools/analysis/run.sh" "$build"; then
        echo "analysis: cppcheck and clang-tidy found nothing in src/, nkf32/, store/ and common/"
    else
        total_failed=$((total_failed + 1))
    fi
    run_ctest tests-win64 win64 --timeout 600 --no-tests=error
    run_ctest tests-native native --timeout 600 --no-tests=error

    # The 32-bit loader cannot start where the kernel lacks 32-bit support.
    if timeout 10 /usr/lib/wine/wine --version >/dev/null 2>&1; then
        run_ctest tests-win32 win32 --timeout 600 --no-tests=error
    else
        run_ctest tests-win32-host win32 -L host --no-tests=error
        # Then the Windows tests run under 32-bit Wine in a qemu guest whose
        # kernel runs 32-bit code (tools/guest/), where this machine can boot it.
        skipped="tests-win32: 32-bit Wine does not run on this machine and"
        if [ "${VESTIBAR_SKIP_GUEST:-0}" = 1 ]; then
            echo "$skipped VESTIBAR_SKIP_GUEST=1 skips the guest; the 32-bit build's Windows tests did not run."
        elif ! reason=$(bash "$top/tools/guest/run.sh" --check 2>&1); then
            echo "$skipped the guest cannot run here ($reason); the 32-bit build's Windows tests did not run."
        elif run_stage guest-win32 bash "$top/tools/guest/run.sh" "$build/win32" "$build/guest"; then
            echo "guest-win32: $(tail -n 1 "$logs/guest-win32.log")"
            run_ctest tests-win32-guest guest --no-tests=error
        fi
    fi
fi

echo "$total_passed passed, $total_failed failed"
[ $failed_stages -eq 0 ] && [ $total_failed -eq 0 ]
