#!/usr/bin/env bash
# The real app as a desktop citizen, on its own Xvfb display with the trayer tray host:
# - a second start hands over to the running app and exits 0 within 3 s, and the first
#   app's main window is on screen again (it had been taken off first), with no second
#   window or tray icon;
# - the window's WM_CLASS is the desktop entry's StartupWMClass;
# - after a resize and Ctrl+Q, the next start opens the window at that size.
# HOME, the runtime, config and data folders are temporary ones of this test.
#   xvfb-instance-test.sh <Vantery binary> <vantery-bench binary> <desktop entry template>
# Exits 77 (skipped) when Xvfb, trayer, xdotool, xwininfo or xprop is missing.
set -uo pipefail
app=${1:?usage: xvfb-instance-test.sh <Vantery> <vantery-bench> <desktop entry>}
bench=${2:?usage: xvfb-instance-test.sh <Vantery> <vantery-bench> <desktop entry>}
entry=${3:?usage: xvfb-instance-test.sh <Vantery> <vantery-bench> <desktop entry>}
source "$(dirname "$0")/lib/xvfb-session.sh"
xvfb_require Xvfb trayer xdotool xwininfo xprop

xvfb_scratch instance

"$bench" gen --out "$work/home" --mb 1 --seed 7 >/dev/null || fail "vantery-bench gen failed"
xvfb_start
trayer_start
mkdir -p -m 0700 "$work/runtime"

# Starts the app in the background with this test's folders; $1 names its log.
launch() {
  env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CACHE_HOME \
      HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
      XDG_RUNTIME_DIR="$work/runtime" VANTERY_CACHE_PATH="$work/data/scan-cache.bin" \
      QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
      "$app" >"$work/$1.log" 2>&1 </dev/null &
}
# Waits up to $2 seconds for process $1's main window; sets `window`.
wait_window() {
  local until=$(($(usec) + $2 * 1000000))
  window=""
  while (($(usec) < until)); do
    kill -0 "$1" 2>/dev/null || fail "the app exited"
    window=$(top_level_vantery "$1")
    [[ -n "$window" ]] && return
    sleep 0.05
  done
  fail "no main window of process $1 within $2 s"
}
# The number of icons docked in trayer, from its width (one icon is as wide as it is high).
docked_icons() {
  eval "$(xdotool getwindowgeometry --shell "$dock" 2>/dev/null)"
  echo $((${WIDTH:-0} / ${HEIGHT:-24}))
}

launch first
first=$!
pids+=("$first")
wait_window "$first" 10

# The class the window manager sees is the one the desktop entry names.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
wanted=$(sed -n 's/^StartupWMClass=//p' "$entry")
[[ -n "$class" && "$class" == "$wanted" ]] ||
  fail "WM_CLASS class '$class' is not the entry's StartupWMClass '$wanted'"

# Take the window off the screen, as minimising does, so that only the hand-over can
# bring it back.
xdotool windowunmap --sync "$window"
[[ -z "$(top_level_vantery "$first")" ]] || fail "the window stayed on screen"

started=$(usec)
launch second
second=$!
pids+=("$second")
status=""
while (($(usec) - started < 3000000)); do
  if ! kill -0 "$second" 2>/dev/null; then
    wait "$second"
    status=$?
    break
  fi
  sleep 0.05
done
[[ -n "$status" ]] || fail "the second start was still running after 3 s"
[[ "$status" == 0 ]] || fail "the second start exited with status $status"
handover_ms=$((($(usec) - started) / 1000))
wait_window "$first" 3
icons=$(docked_icons)
[[ "$icons" == 1 ]] || fail "$icons tray icons docked, expected one"

# Resized, then quit with the shortcut; the next start opens at that size.
xdotool windowsize --sync "$window" 1000 640
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 100); do kill -0 "$first" 2>/dev/null || break; sleep 0.05; done
kill -0 "$first" 2>/dev/null && fail "Ctrl+Q did not quit the app"
wait "$first" || fail "the app exited with status $? after Ctrl+Q"

launch third
third=$!
pids+=("$third")
wait_window "$third" 10
eval "$(xdotool getwindowgeometry --shell "$window")"
[[ "$WIDTH" == 1000 && "$HEIGHT" == 640 ]] ||
  fail "the next start opened at ${WIDTH}x${HEIGHT}, not at 1000x640"
echo "OK: hand-over in ${handover_ms} ms, WM_CLASS $class, window size kept"
