#!/usr/bin/env bash
# Runs a command under a virtual X server of its own:
#   with_xvfb.sh WIDTHxHEIGHT COMMAND [ARGUMENT...]
# The server picks a free display number itself and reports it once it
# accepts connections (-displayfd), so tests started side by side never
# race for one display, as a lock-file search before starting the server
# does. The server ends with the command; the command's status is returned.
# Ended itself (TERM, INT, HUP), it ends the command's whole process group
# (the test, the program it started, its X clients) and the server.
set -uo pipefail
size="$1"
shift
work="$(mktemp -d)"
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/server.log" &
server=$!
# A loaded machine may take seconds to start the server.
for _ in $(seq 1 600); do
    grep -q '^[0-9][0-9]*$' "$work/display" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
display="$(head -n 1 "$work/display" 2>/dev/null)"
if ! [[ "$display" =~ ^[0-9]+$ ]]; then
    echo "with_xvfb: the X server did not start"
    cat "$work/server.log"
    exit 1
fi
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
# A process group of its own for the command, waited for in the background
# so that a signal reaches this script at once.
set -m
"$@" &
command=$!
set +m
trap 'kill -TERM -- "-$command" 2>/dev/null; exit 143' TERM INT HUP
wait "$command"
