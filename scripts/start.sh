#!/usr/bin/env bash
# Installs what is missing, builds and starts the suite. Until the programs
# exist it shows the data dictionary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build/programs/velmora/velmora tables
