#!/usr/bin/env bash
# Builds everything and runs every test (installs missing dependencies first).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
# The MCP client test runs the official TypeScript SDK, pinned by its lockfile.
npm ci --prefix mcp-server/tests/sdk --no-audit --no-fund >/dev/null
cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci
