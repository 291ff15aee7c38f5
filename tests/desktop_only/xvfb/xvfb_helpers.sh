# Shared by the whole-program tests (sourced). Every wait polls for what it
# waits for until a generous deadline: on a loaded machine a window, a
# dialog or a render may take seconds, and a fixed sleep would assume a
# speed. Callers define finish MESSAGE (reports and exits 1) and set
# xclient; the program's process id goes in pid, its window in window.
#
# Sourcing makes the test's folder $work, removed when the test ends (with
# the program, when one is still running), and gives the program private
# data, cache, configuration and runtime folders in it, so a test never
# touches the user's own.
work="$(mktemp -d)"
pid=
window=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

# until_true SECONDS COMMAND...: polls COMMAND until it succeeds; status 1
# when the deadline passes first.
until_true() {
    local end=$(( SECONDS + $1 ))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

keys() { xdotool key --clearmodifiers "$@"; }

# focus WINDOW: the keyboard focus on WINDOW, as the server reports it,
# before any key is sent.
focus() { "$xclient" focus "$1" 60000 || finish "window $1 did not take the focus"; }

# place WINDOW X Y W H: moves and sizes the window and waits until the
# server has it there.
place() {
    xdotool windowmove "$1" "$2" "$3" && xdotool windowsize "$1" "$4" "$5" || finish "could not place window $1"
    placed() {
        local shown
        shown="$(xdotool getwindowgeometry "$1" 2>/dev/null)" &&
            echo "$shown" | grep -q "Position: $2,$3 " && echo "$shown" | grep -q "Geometry: $4x$5"
    }
    until_true 60 placed "$@" || finish "window $1 is not at $2,$3 $4x$5: $(xdotool getwindowgeometry "$1")"
}

# loaded FILTER OUT.txt: the program reports the dropped filter as loaded.
loaded() {
    until_true 60 grep -q "got filter name $1 with retVal 0" "$2" || finish "the dropped filter $1 was not loaded"
}

# end_program WINDOW: a window manager's close request, then the program
# must end by itself with status 0.
end_program() {
    "$xclient" close "$1" || finish "could not send the close request"
    until_true 60 eval '! kill -0 "$pid" 2>/dev/null' || finish "the program did not end after the close request"
    wait "$pid"
    local status=$?
    pid=
    [ "$status" -eq 0 ] || finish "exit status $status"
}
