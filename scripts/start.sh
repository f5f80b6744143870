#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo company (once) and starts
# dudore on it. The company goes to the folder given, or ~/velmora-demo.
#   scripts/start.sh [FOLDER] [vorovid]
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
company="${1:-$HOME/velmora-demo}"
program="${2:-dudore}"
scripts/setup.sh
scripts/build.sh
if [ ! -e "$company/DATA1.TPS" ]; then
  mkdir -p "$company"
  "$repo/build/programs/velmora/velmora" demo "$company"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No hay pantalla: se usa xvfb-run (la ventana no se verá)." >&2
  cd "$company" && exec xvfb-run -a "$repo/build/programs/$program/$program" /1
fi
# User 1 of the demo company may do everything.
cd "$company" && exec "$repo/build/programs/$program/$program" /1
