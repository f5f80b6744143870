#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# Widget tests run on Qt's offscreen platform; nothing needs a display.
export QT_QPA_PLATFORM=offscreen
# The tests of the server back end run on a throw-away PostgreSQL cluster,
# started here once for every test program and stopped at the end.
server=$(mktemp -d)
chmod 755 "$server"
trap 'scripts/pg_cluster.sh stop "$server/pg" || true; rm -rf "$server"' EXIT
VELMORA_PG=$(scripts/pg_cluster.sh start "$server/pg")
export VELMORA_PG
ctest --test-dir build --output-on-failure -j2
