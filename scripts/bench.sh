#!/usr/bin/env bash
# Runs every benchmark program; each prints lines "figure: NAME VALUE UNIT". A benchmark that
# cannot run (a program or server missing) fails the whole run, so that no figure goes missing
# unnoticed.
set -uo pipefail
bin=$(cd "${1:-build-bench/bin}" && pwd) || exit 1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The benchmarks that start palvuro-chat or palvuro-trivia take them from beside themselves.
export PALVURO_BIN_DIR=${PALVURO_BIN_DIR:-$bin}
status=0
failed=()
for b in "$bin"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" || { status=1; failed+=("$(basename "$b")"); }
done
[ $status -eq 0 ] || echo "benchmarks that failed: ${failed[*]}" >&2
exit $status
