#!/usr/bin/env bash
# The launch as a new user meets it on an XEmbed tray: the real app on its own Xvfb
# display with the trayer tray host must dock its icon and map a window titled "Vantery"
# within 3 s of starting. HOME is a generated sample home and the cache lives under a
# temporary folder, so nothing of the user's is read or written.
#   xvfb-launch-test.sh <Vantery binary> <vantery-bench binary>
# Exits 77 (skipped) when Xvfb, trayer, xdotool or xwininfo is missing.
set -uo pipefail
app=${1:?usage: xvfb-launch-test.sh <Vantery> <vantery-bench>}
bench=${2:?usage: xvfb-launch-test.sh <Vantery> <vantery-bench>}
source "$(dirname "$0")/lib/xvfb-session.sh"
xvfb_require Xvfb trayer xdotool xwininfo

xvfb_scratch launch

"$bench" gen --out "$work/home" --mb 1 --seed 7 >/dev/null || fail "vantery-bench gen failed"

xvfb_start
trayer_start

mkdir -p -m 0700 "$work/runtime"
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CACHE_HOME XDG_CONFIG_HOME="$work/config" \
    HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
    VANTERY_CACHE_PATH="$work/data/scan-cache.bin" QT_QPA_PLATFORM=xcb \
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" "$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
started=$(usec)

# Both within 3 s: the icon docked (so this is the tray path, not the no-tray fallback
# that opens the window at once) and the main window mapped.
docked=0
window=""
while (($(usec) - started < 3000000)); do
  kill -0 "$app_pid" 2>/dev/null || fail "the app exited at launch"
  if [[ $docked == 0 ]]; then
    eval "$(xdotool getwindowgeometry --shell "$dock" 2>/dev/null)"
    [[ "${WIDTH:-0}" -ge 16 ]] && docked=1
  fi
  window=$(top_level_vantery "$app_pid")
  [[ $docked == 1 && -n "$window" ]] && break
  sleep 0.05
done
elapsed_ms=$((($(usec) - started) / 1000))
[[ $docked == 1 ]] || fail "the tray icon never docked in trayer"
[[ -n "$window" ]] || fail "no window titled Vantery was mapped within 3 s"
echo "OK: icon docked and the window titled Vantery mapped after ${elapsed_ms} ms"
