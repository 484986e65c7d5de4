#!/usr/bin/env bash
# Pictures of the app for the README, from the real program on a generated sample home:
#   docs/main-<tab>.png  the main window on each of its six tabs
#   docs/help.png        the help window
#   docs/panel.png       the menu-bar panel opened from its tray icon
# The windows are widget grabs on the offscreen platform (the app's VANTERY_SCREENSHOT_DIR
# run: it waits for its first refresh, grabs every tab and the help window, and quits).
# The panel needs a real X session: Xvfb with the trayer tray host, a click on the icon
# with xdotool, and ImageMagick's import. HOME points at the sample home, so the app reads
# only its transcripts and keeps its cache file under it; nothing of the user's is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
VANTERY_WITH_SCREENSHOTS=1 bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j4

work="$PWD/build/screenshots"
out="$PWD/docs"
app="$PWD/build/release/Vantery/Vantery"
rm -rf "$work"
mkdir -p "$work" "$out"
build/release/bench/vantery-bench gen --out "$work/home" --mb 8 --seed 7 >/dev/null

export HOME="$work/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

echo "windows: main window (six tabs) and help"
QT_QPA_PLATFORM=offscreen VANTERY_SCREENSHOT_DIR="$out" timeout 300 "$app"

echo "panel: Xvfb with a tray host"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -br -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids=($!)
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

trayer --edge top --align right --widthtype request --height 28 --transparent false \
       --tint 0x2b2b2b --SetDockType true >"$work/trayer.log" 2>&1 &
pids+=($!)

QT_QPA_PLATFORM=xcb "$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
# The launch check opens the main window 1.5 s after start when nothing is visible; put
# it away so that the picture shows the tray and its panel only.
main=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$app_pid" --name '^Vantery$' | head -n1 || true)
[[ -n "$main" ]] && xdotool windowunmap "$main"
# trayer's dock window (WM_CLASS instance "panel") grows once the app's icon has docked.
WIDTH=0
for _ in $(seq 100); do
  dock=$(xdotool search --onlyvisible --classname '^panel$' | head -n1 || true)
  [[ -n "$dock" ]] && eval "$(xdotool getwindowgeometry --shell "$dock")"
  [[ "$WIDTH" -ge 16 ]] && break
  sleep 0.2
done
visible() { { xdotool search --all --onlyvisible --pid "$app_pid" 2>/dev/null || true; } | wc -l; }
before=$(visible)
[[ "$WIDTH" -ge 16 ]] && xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 2
if [[ "$WIDTH" -lt 16 || "$(visible)" -le "$before" ]]; then
  echo "no panel opened from the tray icon; docs/panel.png is left as it was" >&2
else
  import -window root "$work/screen.png"
  # The root is black (-br): trimming leaves the tray and the panel below it.
  convert "$work/screen.png" -trim +repage "$out/panel.png"
fi
echo "written: $(cd "$out" && ls ./*.png | tr '\n' ' ')"
