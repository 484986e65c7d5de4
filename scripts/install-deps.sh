#!/usr/bin/env bash
# Installs what Vantery builds against, from the system package manager only.
# Idempotent: does nothing when every package is already present.
#   install-deps.sh          what building and running both programs needs
#   install-deps.sh --test   also what the tests need (GoogleTest, clang and its fuzzer
#                            runtime, Node.js, the format and desktop-entry checks, and
#                            Xvfb, trayer and xdotool for the tests of the real app)
set -euo pipefail

want_tests=0
case "${1:-}" in
  "") ;;
  --test) want_tests=1 ;;
  *) echo "usage: install-deps.sh [--test]" >&2; exit 2 ;;
esac
# VANTERY_WITH_SCREENSHOTS=1 adds what scripts/screenshots.sh needs beyond the tests
# (ImageMagick, to capture and scale).
want_shots=${VANTERY_WITH_SCREENSHOTS:-0}
[[ "$want_shots" == 1 ]] && want_tests=1

if [[ "$(uname -s)" == "Darwin" ]]; then
  command -v brew >/dev/null || { echo "Homebrew is required: https://brew.sh" >&2; exit 1; }
  pkgs=(cmake ninja simdjson nlohmann-json howard-hinnant-date utf8proc fmt qt)
  [[ "$want_tests" == 1 ]] && pkgs+=(googletest node)
  missing=()
  for p in "${pkgs[@]}"; do brew list --formula "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [[ ${#missing[@]} -eq 0 ]] || brew install "${missing[@]}"
  exit 0
fi

pkgs=(build-essential cmake ninja-build pkg-config libsimdjson-dev nlohmann-json3-dev
      libhowardhinnant-date-dev tzdata libutf8proc-dev libfmt-dev)
# The desktop app: Qt 6 Widgets (Concurrent, Network and Test come with qt6-base-dev),
# Svg, OpenGL (other Qt modules' CMake files look for it) and a font to render with.
pkgs+=(qt6-base-dev qt6-svg-dev libqt6opengl6-dev fonts-dejavu-core)
if [[ "$want_tests" == 1 ]]; then
  pkgs+=(libgtest-dev googletest)
  # clang and its runtimes: libFuzzer for scripts/fuzz-smoke.sh.
  pkgs+=(clang libclang-rt-dev)
  # Node.js (for the MCP client test) may come from another source that bundles npm.
  command -v node >/dev/null || pkgs+=(nodejs)
  command -v npm >/dev/null || command -v node >/dev/null || pkgs+=(npm)
  # The CI format check, and the install test's check of the desktop entry.
  pkgs+=(clang-format desktop-file-utils)
  # The tests of the real app on an X server: the server, a tray host, a window finder,
  # and strace to hold a first start up while a second one runs.
  pkgs+=(xvfb xauth trayer xdotool x11-utils strace)
fi
[[ "$want_shots" == 1 ]] && pkgs+=(imagemagick)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo_cmd=()
  [[ "$(id -u)" -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
