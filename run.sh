#!/usr/bin/env bash
# Installs what is missing, builds, and starts Delvorin.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
delvorin_install_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
if [ -x build/bin/delvorin ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/bin/delvorin "$@"
elif [ -x build/bin/delvorin ]; then
  echo "No display found: starting Delvorin under Xvfb." >&2
  exec xvfb-run -a build/bin/delvorin "$@"
else
  exec build/bin/delvorin-cli --help
fi
