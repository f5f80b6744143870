#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# Widget tests run on Qt's offscreen platform; nothing needs a display.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
