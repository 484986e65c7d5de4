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

# Starts Xvfb on a free display and exports DISPLAY.
xvfb_start() {
  # Xvfb picks a free display itself and writes its number to the descriptor given.
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.05; done
  [[ -s "$work/display" ]] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
}

# Starts trayer along the top edge and sets `dock` to its window.
trayer_start() {
  trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
         >"$work/trayer.log" 2>&1 &
  pids+=($!)
  # trayer's dock window (WM_CLASS instance "panel") exists once it owns the tray selection.
  dock=""
  for _ in $(seq 100); do
    dock=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n1)
    [[ -n "$dock" ]] && break
    sleep 0.05
  done
  [[ -n "$dock" ]] || fail "trayer did not start"
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
