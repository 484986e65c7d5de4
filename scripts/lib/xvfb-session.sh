# Sourced by the tests of the real app on an X server: a display of its own with the
# trayer tray host, and the helpers to find the app's windows.

# Makes `work`, a temporary folder named after $1, and `pids`, the processes killed at
# exit, when `work` is removed.
xvfb_scratch() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/vantery-$1.XXXXXX")
  pids=()
  trap xvfb_cleanup EXIT
}
xvfb_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work"
}

# Says what failed, with the tail of every log in `work`, and exits 1.
fail() {
  echo "FAIL: $*"
  for log in "$work"/*.log; do [[ -s "$log" ]] && { echo "--- $log"; tail -n 20 "$log"; }; done
  exit 1
}

# Exits 77 (skipped) unless every tool named is installed.
xvfb_require() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (scripts/install-deps.sh --test installs it)"
      exit 77
    fi
  done
}

# Starts Xvfb on a free display, exports DISPLAY and sets `xvfb_pid`. The display is
# taken only once a client has connected to it: a server that reported its number and
# then went away is started again, up to three times, rather than failing a test that
# never reached the app.
xvfb_start() {
  local attempt
  for attempt in 1 2 3; do
    # Xvfb picks a free display itself and writes its number to the descriptor given.
    : >"$work/display"
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >>"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    pids+=("$xvfb_pid")
    exec 3>&-
    for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.05; done
    if [[ -s "$work/display" ]]; then
      export DISPLAY=":$(head -n1 "$work/display")"
      for _ in $(seq 40); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
      done
    fi
    echo "Xvfb attempt $attempt: display '${DISPLAY:-}' did not accept a client" \
         "($(xvfb_state))" >>"$work/xvfb.log"
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  done
  fail "Xvfb did not start"
}

# Whether the X server is still running, for the logs of a failure.
xvfb_state() {
  if kill -0 "${xvfb_pid:-0}" 2>/dev/null; then echo "Xvfb running"; else echo "Xvfb gone"; fi
}

# Starts trayer along the top edge and sets `dock` to its window. A trayer that exits
# before its dock appears is started again, up to three times.
trayer_start() {
  local attempt trayer_pid
  dock=""
  for attempt in 1 2 3; do
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
           >>"$work/trayer.log" 2>&1 &
    trayer_pid=$!
    pids+=("$trayer_pid")
    # trayer's dock window (WM_CLASS instance "panel") exists once it owns the tray selection.
    for _ in $(seq 100); do
      dock=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n1)
      [[ -n "$dock" ]] && break 2
      kill -0 "$trayer_pid" 2>/dev/null || break
      sleep 0.05
    done
    echo "trayer attempt $attempt: no dock on $DISPLAY ($(xvfb_state))" >>"$work/trayer.log"
    kill "$trayer_pid" 2>/dev/null
    wait "$trayer_pid" 2>/dev/null
  done
  [[ -n "$dock" ]] || fail "trayer did not start ($(xvfb_state))"
  sleep 0.3 # the selection is claimed just after the window appears
}

# The mapped top-level window (a child of the root) of process $1 titled "Vantery": the
# tray icon's own window carries the same title once embedded in trayer.
top_level_vantery() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" --name '^Vantery$' 2>/dev/null); do
    xwininfo -tree -id "$w" 2>/dev/null | grep -q 'Parent window id: .*(the root window)' &&
      { echo "$w"; return; }
  done
}

# Microseconds on bash's own clock.
usec() { local t=${EPOCHREALTIME/./}; echo "${t#0}"; }
