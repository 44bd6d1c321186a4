#!/usr/bin/env bash
# The reliability run: the libFuzzer targets (build-fuzz), at least FUZZ_LINES (10 million)
# random room lines through the room-lines fuzz case, IRC_FUZZ_LINES (10 million) random server
# lines through the IRC messages fuzz case, KILL_CYCLES (100) kills of the bot right
# after it announced a score, and every fault case. Ends with one table and the figures.
#
#   scripts/reliability.sh [BUILD [FUZZ_BUILD]]   (defaults: build, build-fuzz)
#
# The room lines run in an optimized build without sanitizers, split over the cores, plus
# FUZZ_ASAN_LINES (200000) in the sanitized fuzz build.
set -uo pipefail
build=${1:-build}
fuzzbuild=${2:-build-fuzz}
lines=${FUZZ_LINES:-10000000}
irc_lines=${IRC_FUZZ_LINES:-10000000}
asan_lines=${FUZZ_ASAN_LINES:-200000}
cycles=${KILL_CYCLES:-100}
jobs=${JOBS:-$(nproc)}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/palvuro-reliability.XXXXXX")
export QT_QPA_PLATFORM=offscreen PALVURO_BIN_DIR=$root/$build/bin
[ -d /dev/shm ] && [ -w /dev/shm ] && fast_tmp=/dev/shm || fast_tmp=${TMPDIR:-/tmp}

# --- libFuzzer targets
fuzz_crashes=0
bash "$root/scripts/fuzz.sh" "$fuzzbuild" | tee "$work/fuzz.txt"
fuzz_crashes=$(awk -F'crashes=' '/^fuzz: /{s+=$2} END{print s+0}' "$work/fuzz.txt")
fuzz_runs=$(awk '/^fuzz: /{split($3, a, "="); s+=a[2]} END{print s+0}' "$work/fuzz.txt")

# --- room lines: one driver per core with its own seed, then a sanitized share
run_driver() { # BIN LINES SEED LOG
    (cd "$work" && TMPDIR=$fast_tmp ASAN_OPTIONS=detect_leaks=0 "$1" "$2" "$3" >"$4" 2>&1)
}
fed=0
driver_crashes=0
start=$(date +%s)
pids=()
for ((j = 0; j < jobs; j++)); do
    share=$(((lines + jobs - 1) / jobs))
    run_driver "$root/$build/bin/fuzz_room_lines_driver" "$share" $((1000 + j)) "$work/driver-$j.log" &
    pids+=($!)
done
run_driver "$root/$fuzzbuild/bin/fuzz_room_lines_driver" "$asan_lines" 77 "$work/driver-asan.log" &
pids+=($!)
for pid in "${pids[@]}"; do wait "$pid"; done
for log in "$work"/driver-*.log; do
    n=$(awk '/^lines /{print $2}' "$log")
    if [ -z "$n" ]; then # it stopped: count what it reported, and the stop
        n=$(awk '/^progress lines /{n=$3} END{print n+0}' "$log")
        driver_crashes=$((driver_crashes + 1))
        echo "room lines: $(basename "$log") stopped:" >&2
        grep -m3 -E 'invariant|ERROR|runtime error' "$log" >&2
    fi
    fed=$((fed + n))
done
elapsed=$(($(date +%s) - start))
fuzz_crashes=$((fuzz_crashes + driver_crashes))

# --- server lines: the same split for the IRC messages case
irc_fed=0
pids=()
for ((j = 0; j < jobs; j++)); do
    run_driver "$root/$build/bin/fuzz_irc_messages_driver" $(((irc_lines + jobs - 1) / jobs)) $((2000 + j)) \
        "$work/irc-$j.log" &
    pids+=($!)
done
run_driver "$root/$fuzzbuild/bin/fuzz_irc_messages_driver" "$asan_lines" 78 "$work/irc-asan.log" &
pids+=($!)
for pid in "${pids[@]}"; do wait "$pid"; done
for log in "$work"/irc-*.log; do
    n=$(awk '/^messages /{print $2}' "$log")
    if [ -z "$n" ]; then
        n=0
        fuzz_crashes=$((fuzz_crashes + 1))
        echo "server lines: $(basename "$log") stopped:" >&2
        grep -m3 -E 'invariant|ERROR|runtime error' "$log" >&2
    fi
    irc_fed=$((irc_fed + n))
done
# Each libFuzzer input of the IRC target is at least one more server line.
irc_fuzz_runs=$(awk '/^fuzz: fuzz_irc_messages /{split($3, a, "="); print a[2]}' "$work/fuzz.txt")
irc_messages=$((irc_fed + ${irc_fuzz_runs:-0}))

# --- kill cycles
PALVURO_KILL_CYCLES=$cycles "$root/$build/bin/tst_faults_killcycle" >"$work/kill.txt" 2>&1
kill_line=$(grep '^KILL-CYCLES' "$work/kill.txt")
kills=$(sed -n 's/.*cycles=\([0-9]*\).*/\1/p' <<<"$kill_line")
lost=$(sed -n 's/.*scores_lost=\([0-9]*\).*/\1/p' <<<"$kill_line")
[ -n "$kill_line" ] || { kills=0; lost=$cycles; echo "kill cycles did not finish" >&2; }

# --- fault cases: one line per case of the database faults, one per test of the others
undefined=0
tried=0
: >"$work/cases.txt"
for t in dbfaults usersfile security; do
    "$root/$build/bin/tst_faults_$t" >"$work/$t.txt" 2>&1
    code=$?
    grep '^FAULT-CASE' "$work/$t.txt" | sed 's/^FAULT-CASE //' >>"$work/cases.txt"
    grep -E '^(PASS|FAIL!|SKIP) ' "$work/$t.txt" | grep -v -E 'initTestCase|cleanupTestCase' |
        grep -v -E '::operations\(' | sed -E 's/^(PASS|FAIL!|SKIP) *: *[A-Za-z]+::/\1 /' |
        awk '{s=$1; $1=""; print substr($0,2) ": " (s=="PASS" ? "defined" : s=="SKIP" ? "skipped" : "UNDEFINED")}' \
            >>"$work/cases.txt"
    if [ $code -ne 0 ] && ! grep -q -E '^FAIL!' "$work/$t.txt"; then
        echo "tst_faults_$t: stopped (exit $code): UNDEFINED" >>"$work/cases.txt"
    fi
done
tried=$(grep -c -v ': skipped' "$work/cases.txt")
undefined=$(grep -c 'UNDEFINED' "$work/cases.txt")

echo
echo "== reliability"
printf '%-34s %s\n' "room lines fuzzed" "$fed ($elapsed s, $jobs jobs + ASan share of $asan_lines)"
printf '%-34s %s\n' "server lines fuzzed" "$irc_fed ($asan_lines of them under ASan)"
printf '%-34s %s\n' "libFuzzer runs (4 targets)" "${fuzz_runs:-0}"
printf '%-34s %s\n' "fuzz crashes" "$fuzz_crashes"
printf '%-34s %s\n' "kill cycles" "$kills"
printf '%-34s %s\n' "scores lost" "$lost"
printf '%-34s %s\n' "fault cases tried" "$tried"
printf '%-34s %s\n' "fault cases undefined" "$undefined"
echo "-- fault cases and how each ended"
sed 's/^/  /' "$work/cases.txt"
echo
echo "figure: fuzz_lines $fed count"
echo "figure: fuzz_crashes $fuzz_crashes count"
echo "figure: irc_fuzz_messages $irc_messages count"
echo "figure: kill_cycles $kills count"
echo "figure: scores_lost $lost count"
echo "figure: fault_cases_undefined $undefined count"
echo "(logs in $work)"
[ "$fuzz_crashes" -eq 0 ] && [ "$lost" -eq 0 ] && [ "$undefined" -eq 0 ] && [ "$fed" -ge "$lines" ] &&
    [ "$irc_fed" -ge "$irc_lines" ]
