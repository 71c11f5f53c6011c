#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program. Arguments
# are passed to vok (one path: a .txt file fills the first tab, a .bin file
# the second).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting vok under xvfb-run" >&2
  exec xvfb-run -a build/bin/vok "$@"
fi
exec build/bin/vok "$@"
