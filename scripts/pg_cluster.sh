#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests of the server back end:
#
#   scripts/pg_cluster.sh start FOLDER   # initdb into FOLDER, listen on a Unix socket there
#   scripts/pg_cluster.sh stop FOLDER
#
# `start` prints the libpq connection string (host=FOLDER dbname=postgres
# user=...). No TCP port is opened; the cluster trusts local connections
# and lives only as long as FOLDER. Run as root, the server runs as the
# postgres user, as it must.
set -euo pipefail

action=${1:?start o stop}
folder=${2:?carpeta del servidor}
bin=$(ls -d /usr/lib/postgresql/*/bin 2> /dev/null | sort -V | tail -1)
[[ -x $bin/initdb ]] || { echo "No está instalado PostgreSQL (scripts/setup.sh lo instala)" >&2; exit 1; }

as_server() {
  if [[ $(id -u) == 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}
user=$([[ $(id -u) == 0 ]] && echo postgres || id -un)

case $action in
  start)
    mkdir -p "$folder"
    [[ $(id -u) == 0 ]] && chown postgres: "$folder"
    as_server "$bin/initdb" -D "$folder/data" -A trust -U "$user" -E UTF8 --locale=C.UTF-8 \
      > "$folder/initdb.log" 2>&1 || { cat "$folder/initdb.log" >&2; exit 1; }
    as_server "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w \
      -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c fsync=on" start > /dev/null \
      || { cat "$folder/server.log" >&2; exit 1; }
    echo "host=$folder dbname=postgres user=$user"
    ;;
  stop)
    [[ -d $folder/data ]] && as_server "$bin/pg_ctl" -D "$folder/data" -m fast -w stop > /dev/null
    ;;
  *)
    echo "Uso: $0 start|stop CARPETA" >&2
    exit 2
    ;;
esac
