#!/usr/bin/env bash
# Pictures of the app for the README, from the real program on a generated sample home:
#   docs/main-<tab>.png  the main window on each of its tabs (main-sources.png right
#                        after a full verification, so that its verdict line shows)
#   docs/help.png        the help window
#   docs/launch.png      the screen two seconds after launch: the tray and the window the
#                        launch check opened
#   docs/tray-light.png  the tray icon at 22 px on a light and on a dark tray, scaled ×4
#   docs/tray-dark.png   (nearest neighbour) so it can be read without zooming
#   docs/panel.png       the menu-bar panel opened from its tray icon
# The windows are widget grabs on the offscreen platform (the app's VANTERY_SCREENSHOT_DIR
# run: it waits for its first refresh, grabs every tab and the help window, and quits).
# The rest needs a real X session: Xvfb with the trayer tray host, xdotool to find and
# click, and ImageMagick to capture. HOME points at the sample home under a neutral path,
# so the app reads only its transcripts and keeps its cache file under it.
set -euo pipefail
cd "$(dirname "$0")/.."
VANTERY_WITH_SCREENSHOTS=1 bash scripts/install-deps.sh
export CCACHE_BASEDIR=$PWD
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset release "${launcher[@]}" >/dev/null
cmake --build --preset release -j3 --target Vantery vantery-bench

sample=/tmp/vantery-sample
out="$PWD/docs"
app="$PWD/build/release/Vantery/Vantery"
rm -rf "$sample"
mkdir -p "$sample" "$out"
build/release/bench/vantery-bench gen --out "$sample/home" --mb 8 --seed 7 >/dev/null
# A model the price table does not know on every fifth line of today's (the generated
# home knows one only on older days), so today's figures are lower bounds and their
# marks and colours are in the pictures.
today=$(date +%F)
grep -rl --include='*.jsonl' "\"timestamp\":\"$today" "$sample/home" | while read -r f; do
  sed -i -E "0~5{/\"timestamp\":\"$today/s/\"model\":\"claude-[^\"]+\"/\"model\":\"claude-experimental-x\"/}" "$f"
done

export HOME="$sample/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR="$sample/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

echo "windows: main window (every tab) and help"
QT_QPA_PLATFORM=offscreen VANTERY_SCREENSHOT_DIR="$out" timeout 300 "$app"

echo "launch, tray and panel: Xvfb with a tray host"
exec 3>"$sample/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -br -nolisten tcp >"$sample/xvfb.log" 2>&1 &
pids=($!)
exec 3>&-
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
for _ in $(seq 100); do [[ -s "$sample/display" ]] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$sample/display")"

# Starts trayer with background $1 and the app; sets dock, app_pid, X Y WIDTH HEIGHT.
start_tray_and_app() {
  trayer --edge top --align right --widthtype request --height 22 --transparent true \
         --alpha 0 --tint "$1" --SetDockType true >"$sample/trayer.log" 2>&1 &
  tray_pid=$!
  pids+=("$tray_pid")
  dock=""
  for _ in $(seq 100); do
    dock=$(xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -n1 || true)
    [[ -n "$dock" ]] && break
    sleep 0.05
  done
  sleep 0.3
  QT_QPA_PLATFORM=xcb "$app" >"$sample/app.log" 2>&1 &
  app_pid=$!
  launched=$(date +%s%N)
  pids+=("$app_pid")
  WIDTH=0
  for _ in $(seq 100); do
    eval "$(xdotool getwindowgeometry --shell "$dock")"
    [[ "$WIDTH" -ge 16 ]] && break
    sleep 0.05
  done
}
stop_tray_and_app() {
  kill "$app_pid" "$tray_pid" 2>/dev/null || true
  wait "$app_pid" "$tray_pid" 2>/dev/null || true
}
main_window() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$app_pid" --name '^Vantery$' 2>/dev/null); do
    xwininfo -tree -id "$w" | grep -q 'Parent window id: .*(the root window)' && { echo "$w"; return; }
  done
  return 0
}
# The dock with a margin of the tray's own colour $2, scaled ×4 without smoothing.
shoot_tray() {
  import -window root "$sample/screen.png"
  convert "$sample/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
          -bordercolor "$2" -border 6 -filter point -resize 400% "$1"
}

# Dark tray: the launch, the icon, then the panel.
start_tray_and_app 0x2b2b2b
[[ "$WIDTH" -ge 16 ]] || { echo "the icon did not dock in trayer" >&2; exit 1; }
sleep "$(awk -v n="$(date +%s%N)" -v l="$launched" 'BEGIN { d = 2 - (n - l) / 1e9; print (d > 0 ? d : 0) }')"
import -window root "$sample/screen.png"
convert "$sample/screen.png" -trim +repage "$out/launch.png"
main=$(main_window)
[[ -n "$main" ]] && xdotool windowunmap "$main"
sleep 3 # the first refresh publishes the amount in place of the flame
shoot_tray "$out/tray-dark.png" "#2b2b2b"
visible() { { xdotool search --all --onlyvisible --pid "$app_pid" 2>/dev/null || true; } | wc -l; }
before=$(visible)
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 2
if [[ "$(visible)" -le "$before" ]]; then
  echo "no panel opened from the tray icon; docs/panel.png is left as it was" >&2
else
  import -window root "$sample/screen.png"
  # The root is black (-br): trimming leaves the tray and the panel below it.
  convert "$sample/screen.png" -trim +repage "$out/panel.png"
fi
stop_tray_and_app

# Light tray: the icon only.
start_tray_and_app 0xeeeeee
main=""
for _ in $(seq 60); do main=$(main_window); [[ -n "$main" ]] && break; sleep 0.05; done
[[ -n "$main" ]] && xdotool windowunmap "$main"
sleep 3
shoot_tray "$out/tray-light.png" "#eeeeee"
stop_tray_and_app
echo "written: $(cd "$out" && ls ./*.png | tr '\n' ' ')"
