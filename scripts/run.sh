#!/usr/bin/env bash
# `make run`: the trivia host beside the chat client.
#
# The run folder run/ holds the bot as its operator keeps it: a copy of palvuro-trivia with
# Trivia.mdb (made from demo/questions.tsv the first time) and "Users List.txt" (the demo's,
# ANNA and BOB, the first time) beside it.
#
# With a screen (DISPLAY set) palvuro-chat and palvuro-trivia open side by side; enter a nick
# in the bot's window and press Connect, then speak as ANNA or BOB in the chat window.
#
# Without one, a private X server runs a short game that nobody has to watch: the bot is
# connected the way an operator does it (its nick typed, alt+c), chatters play from the chat
# client's control input, the room's transcript is printed and both windows are saved as
# pictures in run/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${PALVURO_BIN_DIR:-build/bin}
rundir=run
nick=TRIVIA

for program in palvuro-chat palvuro-trivia palvuro-import; do
    [ -x "$bin/$program" ] || { echo "run.sh: $bin/$program is not built (make build)" >&2; exit 1; }
done
mkdir -p "$rundir"
cp -f "$bin/palvuro-trivia" "$rundir/palvuro-trivia"
if [ ! -e "$rundir/Trivia.mdb" ]; then
    "$bin/palvuro-import" demo/questions.tsv "$rundir"
fi
if [ ! -e "$rundir/Users List.txt" ]; then
    cp "demo/Users List.txt" "$rundir/Users List.txt"
fi

if [ -n "${DISPLAY:-}" ]; then
    echo "Palvuro Trivia: in the bot's window enter a nick (for example $nick) and press Connect;"
    echo "then speak as ANNA in the chat window: !START GEOGRAPHY, !HELP, !TOP, !QUIT."
    echo "File > Exit Trivia ends the bot (its close box only hides it); Ctrl+C ends both."
    chat= trivia=
    trap 'kill $chat $trivia 2>/dev/null || true' EXIT
    "$bin/palvuro-chat" --nick "$nick" --transcript "$rundir/transcript.tsv" &
    chat=$!
    sleep 1
    "$rundir/palvuro-trivia" &
    trivia=$!
    # Side by side: the chat window opens at the left edge, the bot's window goes to its right.
    if command -v xdotool >/dev/null; then
        timeout 20 xdotool search --sync --onlyvisible --name '^Palvuro Trivia$' windowmove %1 730 0 \
            >/dev/null 2>&1 || true
    fi
    wait "$chat" "$trivia" || true
    exit 0
fi

# ---- Without a screen: the scripted demo on a private X server. ----
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (make deps)" >&2; exit 1; }
done

started=$(date +%s)
work=$(mktemp -d)
chmod 700 "$work"
mkdir -m 700 "$work/runtime" "$work/config"
transcript="$rundir/transcript.tsv"
shots="$rundir/screenshots"
mkdir -p "$shots"
: >"$transcript"

xvfb_pid= chat_pid= trivia_pid=
cleanup() {
    for pid in $trivia_pid $chat_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $trivia_pid $chat_pid $xvfb_pid; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() {
    echo "run.sh: $*" >&2
    echo "== the room so far ($transcript)" >&2
    show_room >&2
    exit 1
}

# The room's transcript for people: "NICK: text", a private line as "NICK -> TO: text", the
# bot's two-line texts indented.
show_room() {
    awk -F'\t' '{
        text = $5
        gsub(/\\r\\n/, "\n        ", text)
        gsub(/\\\\/, "\\", text)
        if ($2 == "say") printf "%7.1fs  %s: %s\n", $1 / 1000, $3, text
        else if ($2 == "msg") printf "%7.1fs  %s -> %s: %s\n", $1 / 1000, $3, $4, text
        else printf "%7.1fs  (%s) %s\n", $1 / 1000, $2, text
    }' "$transcript"
}

# A private X server on a display number nobody holds; it is up once a client can connect.
display=$((200 + RANDOM % 700))
for _ in $(seq 20); do
    display=$((display + 1))
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 200); do
        kill -0 "$xvfb_pid" 2>/dev/null || break
        # The lock must name our server, not one that another run started just before. Until
        # the server writes it there is none: the error goes first, so the missing file is quiet.
        [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$display-lock")" = "$xvfb_pid" ] &&
            DISPLAY=":$display" xwininfo -root >/dev/null 2>&1 && break 2
        sleep 0.05
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done
[ -n "$xvfb_pid" ] || { cat "$work/xvfb.log" >&2; die "no X server could be started"; }
export DISPLAY=":$display"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# Short timers for the demo: 6 seconds to answer (the hint at 3), 3 seconds of pause.
cat >"$work/config/Quorvex.conf" <<'SETTINGS'
[Give]
Answer=6
AnswerCheck=0

[Get]
Question=3
SETTINGS

# The chat client reads its room script from a pipe that this script keeps open.
mkfifo "$work/room"
"$bin/palvuro-chat" --nick "$nick" --script - --transcript "$transcript" <"$work/room" &
chat_pid=$!
exec 4>"$work/room"
room() { printf '%s\n' "$@" >&4; }
# Every chatter's line comes a little after the line before: the bot judges the lines that
# reach the room within one of its reads as one text.
say() { room "wait 300" "say $1 $2"; }

# wait_for PATTERN SECONDS: the first record after the last one found whose "from<TAB>text"
# matches the extended regular expression; its text goes to $record.
found=0
record=
wait_for() {
    local deadline=$(($(date +%s) + $2)) line
    while :; do
        line=$(awk -F'\t' -v from="$found" -v re="$1" \
            'NR > from && ($3 "\t" $5) ~ re { print NR "\t" $5; exit }' "$transcript")
        if [ -n "$line" ]; then
            found=${line%%$'\t'*}
            record=${line#*$'\t'}
            return 0
        fi
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        kill -0 "$chat_pid" 2>/dev/null || die "palvuro-chat ended"
        sleep 0.1
    done
}

# window_of TITLE: the viewable top-level window with exactly this title.
window_of() {
    local id
    for _ in $(seq 300); do
        for id in $(xwininfo -root -children | awk -v t="\"$1\":" '$2 " " $3 == t || $2 " " $3 " " $4 == t { print $1 }'); do
            if xwininfo -id "$id" | grep -q IsViewable; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

room "join ANNA" "join BOB" "join CAT"
chat_window=$(window_of "Palvuro 2.0") || die "the chat window did not appear"

"$rundir/palvuro-trivia" &
trivia_pid=$!
trivia_window=$(window_of "Palvuro Trivia") || die "the Palvuro Trivia window did not appear"
xdotool windowmove "$trivia_window" 730 0

# focus WINDOW: the keyboard's input goes to it.
focus() {
    for _ in $(seq 100); do
        xdotool windowfocus "$1"
        [ "$(xdotool getwindowfocus)" = "$(($1))" ] && return 0
        sleep 0.05
    done
    die "cannot give the window $1 the focus"
}

# The operator: the nick box has the focus; type the nick, then &Connect (alt+c).
focus "$trivia_window"
xdotool type --delay 30 "$nick"
xdotool key alt+c

# Lines said before the connect has marked the room as read are never answered: ask until
# the bot answers.
for probe in 1 2 3 4 5 6 7 8 9 10; do
    say "CAT" "!MYSCORE"
    wait_for "^$nick	<b>Your Score Is" 5 && break
    [ "$probe" -lt 10 ] || die "the bot did not answer after the connect"
done

# answer_of QUESTION: its answer in demo/questions.tsv (the database holds questions upper-cased).
answer_of() {
    awk -F'\t' -v q="$1" 'NR > 1 && toupper($2) == q { print $3; exit }' demo/questions.tsv
}
bot="^$nick	" # the nick and a tab: a line of the bot
question="$bot.*[?]$"

say ANNA "!START GEOGRAPHY"
wait_for "$bot[[]Trivia (Bot Started|Not Started)" 20 || die "the game did not start"
[ "$record" = "[Trivia Bot Started By ANNA]" ] || die "the game did not start"
# A question whose answer the demo knows, and one that nobody answers.
answered=0 timed_out=0
for _ in 1 2 3 4 5 6; do
    wait_for "$question|${bot}This Category" 30 || die "no question came"
    asked=$record
    case "$asked" in "This Category"*) die "the category is empty" ;; esac
    wait_for "${bot}HINT: " 30 || die "no hint came"
    answer=$(answer_of "$asked")
    if [ "$answered" -eq 0 ] && [ -n "$answer" ]; then
        say BOB "$(printf '%s' "$answer" | tr '[:upper:]' '[:lower:]')"
        wait_for "$bot[(][*][)]BOB [(][*][)] Is Correct" 30 || die "the answer was not taken"
        answered=1
    else
        say CAT "no idea"
        wait_for "${bot}Times Up!" 30 || die "the question did not time out"
        timed_out=1
    fi
    [ "$answered" -eq 1 ] && [ "$timed_out" -eq 1 ] && break
done
[ "$answered" -eq 1 ] || die "no question of the demo's own came up"

# Right after the next question, so that the bot's own lines stay apart from the chatters'.
wait_for "$question" 30 || die "no question came after the pause"
say ANNA "!TOP"
wait_for "$bot<b>" 20 || die "no answer to !TOP"
say ANNA "!QUIT"
wait_for "$bot[[]Trivia Ended By ANNA[]]" 20 || die "the game did not end"

if command -v import >/dev/null; then
    import -window "$trivia_window" "$shots/palvuro-trivia.png"
    import -window "$chat_window" "$shots/palvuro-chat.png"
    import -window root -crop 1070x490+0+0 "$shots/desktop.png"
fi

# The operator leaves: File (alt+f), "&Exit Trivia" (e; "&Edit Scores" shares the letter, so
# the first e selects it), Return.
focus "$trivia_window"
xdotool key alt+f
sleep 0.8
xdotool key e Return
wait_for "$bot[[]Trivia Ended[]]" 20 || die "the bot did not say goodbye"
status=0
wait "$trivia_pid" || status=$?
trivia_pid=
[ "$status" -eq 0 ] || die "palvuro-trivia ended with status $status"
room "quit"
wait "$chat_pid" || die "palvuro-chat reported a failed expectation"
chat_pid=

echo "== the room ($transcript)"
show_room
[ -d "$shots" ] && echo "== screenshots in $shots: $(ls "$shots" | tr '\n' ' ')"
echo "== demo finished in $(($(date +%s) - started)) s"
