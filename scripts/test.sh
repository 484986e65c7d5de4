#!/usr/bin/env bash
# Builds everything and runs every test (installs missing dependencies first).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci
