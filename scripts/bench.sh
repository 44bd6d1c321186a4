#!/usr/bin/env bash
# Runs every benchmark program; each prints lines "figure: NAME VALUE UNIT".
set -uo pipefail
bin=${1:-build-bench/bin}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for b in "$bin"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
exit $status
