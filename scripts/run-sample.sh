#!/usr/bin/env bash
# Builds everything, generates a sample home dated around the current time, and asks
# the real VanteryMCP server (with a cache file of its own) for three answers:
# the overview, the cost of the last 7 days by day, and the sources; then opens the
# desktop app on the same home when a display is available.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
sample="$PWD/build/sample"
rm -rf "$sample"
mkdir -p "$sample"
build/release/bench/vantery-bench gen --out "$sample/home" --mb 8 --seed 7 >/dev/null
echo
build/release/bench/vantery-bench mcp-ask \
    --server build/release/mcp-server/VanteryMCP \
    --home "$sample/home" --cache "$sample/scan-cache.bin" <<'CALLS'
vant_overview
vant_cost {"period": "7d", "by": "day"}
vant_sources
CALLS

# The desktop app on the same sample home, when there is a display to show it on. HOME
# points at the sample home, so the app reads only its transcripts and keeps its cache
# file under it.
echo
app=build/release/Vantery/Vantery
if [[ "$(uname -s)" == "Darwin" ]]; then
  app=build/release/Vantery/Vantery.app/Contents/MacOS/Vantery # built as a bundle there
fi
if [[ "$(uname -s)" == "Darwin" || -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Opening the Vantery app on the sample home (HOME=$sample/home); quit it from its tray menu or File > Quit."
  env -u XDG_DATA_HOME HOME="$sample/home" "$app" >"$sample/app.log" 2>&1 &
else
  echo "No display here, so the Vantery app was built but not opened. On a desktop, run:"
  echo "  HOME=$sample/home $app"
fi
