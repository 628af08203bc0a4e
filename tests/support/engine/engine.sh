#!/usr/bin/env bash
# The T-SQL engine fixture of the `engine` tests: a prebuilt engine that speaks TDS, kept beside the
# repository in ../shared/babelfish (read-only), unpacked to /opt/babelfish and run by its own start.sh.
#
#   engine.sh start              unpack when missing (checksum checked), install its packages, start it
#   engine.sh stop               stop it (the data stays for a faster next start)
#   engine.sh link DB1 DB2 ...   let each database's user act in the next ones (see below)
#
# QUORIX_ENGINE_DIR overrides where the archive and its scripts are.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
dir=${QUORIX_ENGINE_DIR:-$repo/../shared/babelfish}
prefix=/opt/babelfish

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "engine fixture needs root"
    exit 0
  fi
}

case "${1:-}" in
start)
  need_root
  if [ ! -x "$prefix/bin/postgres" ]; then
    [ -f "$dir/babelfish-opt.tar.xz" ] || { echo "no engine archive in $dir" >&2; exit 1; }
    bash "$repo/scripts/deps.sh" engine
    (cd "$dir" && sha256sum --quiet -c SHA256SUMS) || { echo "engine archive checksum mismatch" >&2; exit 1; }
    tar -xJf "$dir/babelfish-opt.tar.xz" -C /
  fi
  bash "$repo/scripts/deps.sh" engine
  bash "$dir/start.sh"
  ;;
stop)
  need_root
  bash "$dir/stop.sh"
  ;;
link)
  # The engine runs a statement that names another database ("qrix2..t" from qrix) as the current
  # database's user, where SQL Server runs it as the login (sa: dbo everywhere). Making each database's
  # dbo role a member of the next one's gives it what sa has there on SQL Server: CREATE TABLE, TRUNCATE
  # (also of a table whose identity sequence that role owns) and bulk loads, for tables made later too.
  need_root
  shift
  sql=""
  prev=""
  for db in "$@"; do
    [ -n "$prev" ] && sql+="GRANT \"${db}_dbo\" TO \"${prev}_dbo\"; "
    prev=$db
  done
  [ -n "$sql" ] || exit 0
  runuser -u babelfish -- env LD_LIBRARY_PATH="$prefix/lib" "$prefix/bin/psql" -X -q -v ON_ERROR_STOP=1 \
    -h /var/lib/babelfish-test/run -p 5433 -U postgres -d babelfish_db -c "$sql" 2>&1 |
    grep -v 'already a member\|has already been granted' || true
  ;;
analyze)
  # Row counts in the engine's catalog come from its statistics.
  need_root
  runuser -u babelfish -- env LD_LIBRARY_PATH="$prefix/lib" "$prefix/bin/psql" -X -q -v ON_ERROR_STOP=1 \
    -h /var/lib/babelfish-test/run -p 5433 -U postgres -d babelfish_db -c "ANALYZE"
  ;;
*)
  echo "usage: engine.sh start|stop|link DB...|analyze" >&2
  exit 2
  ;;
esac
