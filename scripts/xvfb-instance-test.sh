#!/usr/bin/env bash
# The real app as a desktop citizen, on its own Xvfb display with the trayer tray host:
# - a second start hands over to the running app and exits 0 within 3 s, and the first
#   app's main window is on screen again (it had been taken off first), with no second
#   window or tray icon;
# - the window's WM_CLASS is the desktop entry's StartupWMClass;
# - after a resize and Ctrl+Q, the next start opens the window at that size;
# - a second start while the first is held up for 5 s after it began to listen (strace
#   delays its read of the settings file) exits 0, and one app stays, with one window;
# - as root, with XDG_RUNTIME_DIR unset, the fallback runtime folder taken by user nobody
#   and a socket of nobody's answering where the app once fell back to, the app starts
#   and shows (skipped without setpriv or python3).
# HOME, the runtime, config, data and temporary folders are temporary ones of this test.
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
mkdir -p -m 1777 "$work/tmp"

# Starts the app in the background with this test's folders; $1 names its log.
# A command before the app ($2...) runs it, under the same environment.
launch() {
  local log=$1
  shift
  env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CACHE_HOME \
      HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
      XDG_RUNTIME_DIR="$work/runtime" VANTERY_CACHE_PATH="$work/data/scan-cache.bin" \
      TMPDIR="$work/tmp" QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
      "$@" "$app" >"$work/$log.log" 2>&1 </dev/null &
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
# Waits up to $2 seconds for process $1 ($3) to exit with status 0.
wait_exit() {
  local until=$(($(usec) + $2 * 1000000)) status=""
  while (($(usec) < until)); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      status=$?
      break
    fi
    sleep 0.05
  done
  [[ -n "$status" ]] || fail "$3 was still running after $2 s"
  [[ "$status" == 0 ]] || fail "$3 exited with status $status"
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
wait_exit "$second" 3 "the second start"
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

# A first start held up for 5 s once it listens: its read of the settings file waits.
kill "$third"
wait "$third" 2>/dev/null
rm -f "$work/runtime/"*.instance # what a killed app leaves
xvfb_require strace
settings="$work/config/Kelvora/Vantery.conf"
[[ -f "$settings" ]] || fail "no settings file at $settings"
launch slow strace -f -qq -o /dev/null -P "$settings" -e trace=openat \
  -e inject=openat:delay_enter=5000000:when=1
pids+=($!)
# The app itself is strace's child; it is the one process running exactly "$app".
apps() { pgrep -f -x -- "$app"; }
socket_up=$(($(usec) + 10000000))
until compgen -G "$work/runtime/*.instance" >/dev/null; do
  (($(usec) < socket_up)) || fail "the slow first start never listened"
  sleep 0.05
done
slow=$(apps)
[[ -n "$slow" ]] || fail "the slow first start is not running"
pids+=("$slow")
started=$(usec)
launch during
during=$!
pids+=("$during")
wait_exit "$during" 3 "a start during a slow first start"
during_ms=$((($(usec) - started) / 1000))
[[ -z "$(top_level_vantery "$slow")" ]] || fail "the slow start was not held up"
wait_window "$slow" 15
[[ "$(apps)" == "$slow" ]] || fail "other apps run after a start during a slow start: $(apps)"
icons=$(docked_icons)
[[ "$icons" == 1 ]] || fail "$icons tray icons docked after a slow start, expected one"
kill "$slow"
for _ in $(seq 100); do kill -0 "$slow" 2>/dev/null || break; sleep 0.05; done

# Another user's socket where the app once fell back to, with Qt's own fallback runtime
# folder taken by that user too.
# Another user cannot run a python3 from root's own folders.
python=$(command -v /usr/bin/python3 || command -v python3)
if [[ $(id -u) != 0 ]] || ! command -v setpriv >/dev/null || [[ -z "$python" ]]; then
  echo "OK: hand-over in ${handover_ms} ms (${during_ms} ms during a slow start), WM_CLASS" \
       "$class, window size kept; no check against another user's socket (needs root)"
  exit 0
fi
chmod o+x "$work"
mkdir -m 0700 "$work/tmp/runtime-$(id -un)"
chown nobody "$work/tmp/runtime-$(id -un)"
hash=$(printf '%s' "$work/home" | sha1sum | cut -c1-12)
impostor="$work/tmp/ro.kelvora.vantery-$hash.instance"
setpriv --reuid=65534 --regid=65534 --clear-groups "$python" -c '
import os, socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
s.listen(8)
while True:
    c, _ = s.accept()
    c.recv(64)
    c.sendall(b"ok\n")
    c.close()' "$impostor" >"$work/impostor.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -S "$impostor" ]] && break; sleep 0.05; done
[[ -S "$impostor" ]] || fail "the other user's socket did not appear"
launch alone env -u XDG_RUNTIME_DIR
alone=$!
pids+=("$alone")
wait_window "$alone" 10
echo "OK: hand-over in ${handover_ms} ms (${during_ms} ms during a slow start), WM_CLASS" \
     "$class, window size kept, another user's socket ignored"
