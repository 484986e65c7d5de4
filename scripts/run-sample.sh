#!/usr/bin/env bash
# Builds everything, generates a sample home dated around the current time, and asks
# the real VanteryMCP server (with a cache file of its own) for three answers:
# the overview, the cost of the last 7 days by day, and the sources.
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
