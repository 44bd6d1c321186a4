#!/usr/bin/env bash
# `make run`: the chat client "Palvuro 2.0" with a local room.
# With a screen (DISPLAY set) the client opens for the person at it. Without one, a private
# X server (Xvfb) is started for the run, a short demo script plays a few chatters, and the
# room's transcript is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${PALVURO_BIN_DIR:-build/bin}
rundir=run
mkdir -p "$rundir"

if [ -n "${DISPLAY:-}" ]; then
    exec "$bin/palvuro-chat" --nick "${PALVURO_NICK:-Guest}" --transcript "$rundir/transcript.tsv"
fi

xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# The first display number that no X server holds.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$rundir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "run.sh: Xvfb did not start (see $rundir/xvfb.log)" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$display"

cat >"$rundir/demo-script.txt" <<'SCRIPT'
join ANNA
join BOB
say ANNA hello everybody
wait 300
say BOB hi ANNA, ready for a game?
wait 300
say Guest /msg ANNA <b>welcome back</b>
say ANNA !START HISTORY
wait 300
leave BOB
quit
SCRIPT

status=0
"$bin/palvuro-chat" --nick Guest --script "$rundir/demo-script.txt" \
    --transcript "$rundir/transcript.tsv" || status=$?
echo "== transcript ($rundir/transcript.tsv): ms, kind, from, to, text"
cat "$rundir/transcript.tsv"
exit "$status"
