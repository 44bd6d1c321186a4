#!/usr/bin/env bash
# Runs each libFuzzer target of a PALVURO_FUZZ build for FUZZ_SECONDS (60) seconds, starting from
# the committed seeds; new inputs and crash reproducers go under BUILD/fuzz-work. Prints one line
# per target, "fuzz: TARGET runs=N crashes=N", and exits non-zero when any target crashed.
set -uo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/fuzz-work
export QT_QPA_PLATFORM=offscreen
# Qt keeps some caches for the process's life; leaks are the ASan test build's business.
export ASAN_OPTIONS=detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}
# The room-lines case rewrites a small database per input: memory is faster than disk.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
status=0
for target in fuzz_room_lines fuzz_users_file fuzz_bus_frames fuzz_irc_messages; do
    mkdir -p "$work/corpus/$target" "$work/artifacts/$target"
    log=$work/$target.log
    "$build/bin/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/$target/" "$work/corpus/$target" "$root/fuzz/corpus/$target" \
        >"$log" 2>&1
    code=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    crashes=0
    if [ $code -ne 0 ]; then
        crashes=1
        status=1
        echo "fuzz: $target stopped (exit $code); see $log and $work/artifacts/$target/" >&2
        grep -m3 -E 'ERROR|invariant broken|runtime error' "$log" >&2 || true
    fi
    echo "fuzz: $target runs=${runs:-0} crashes=$crashes"
done
exit $status
