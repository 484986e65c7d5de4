#!/usr/bin/env bash
# Builds everything and runs the main job on a generated sample home.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
sample=build/sample
rm -rf "$sample"
build/release/bench/vantery-bench gen --out "$sample/home" --mb 8 --seed 7 >/dev/null
build/release/bench/vantery-bench scan --home "$sample/home"
