#!/usr/bin/env bash
# Serves the web endpoint on 127.0.0.1 with lighttpd running the program as
# a CGI, at /plugin_veltrane and at the host's hub route
# /plugins?plugin=veltrane&... ; the root / redirects to the viewer. Runs in
# the foreground; Ctrl-C stops it.
#
#   usage: scripts/serve.sh [--port PORT | --port=PORT] [--allow-host NAME]... [EXECUTABLE]
#
# EXECUTABLE defaults to build/release/plugin_veltrane (built when missing).
# The state directory is VELTRANE_STATE_DIR, else the program's own default
# under HOME. BOT_PASSWORD and MAX_THOUGHT_HISTORY are passed on when set;
# the password only through the environment, never on a command line.
# Requests for any other Host than 127.0.0.1:PORT, localhost:PORT and
# NAME:PORT (each --allow-host NAME) are refused before the program runs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
port=8080
exe=""
allow=()

# The comment block at the top of this file, without its "#" marks.
usage() { awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "${BASH_SOURCE[0]}"; }

while [ $# -gt 0 ]; do
  case $1 in
    --port) [ $# -ge 2 ] || { usage >&2; exit 2; }; port=$2; shift 2 ;;
    --port=*) port=${1#--port=}; shift ;;
    --allow-host) [ $# -ge 2 ] || { usage >&2; exit 2; }; allow+=(--allow-host "$2"); shift 2 ;;
    --allow-host=*) allow+=(--allow-host "${1#--allow-host=}"); shift ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "serve.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [ -z "$exe" ] || { usage >&2; exit 2; }; exe=$1; shift ;;
  esac
done
case $port in
  ''|*[!0-9]*) echo "serve.sh: --port needs a number, got '$port'" >&2; exit 2 ;;
esac
if [ "${#port}" -gt 5 ] || [ "$((10#$port))" -lt 1 ] || [ "$((10#$port))" -gt 65535 ]; then
  echo "serve.sh: --port needs a number from 1 to 65535, got '$port'" >&2
  exit 2
fi
port=$((10#$port))

if ! command -v lighttpd >/dev/null 2>&1; then
  echo "serve.sh: installing lighttpd" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lighttpd >/dev/null
fi

if [ -z "$exe" ]; then
  exe=$root/build/release/plugin_veltrane
  if [ ! -x "$exe" ]; then
    echo "serve.sh: building $exe" >&2
    "$root/scripts/build.sh" release >/dev/null
  fi
fi
if [ ! -x "$exe" ]; then
  echo "serve.sh: no executable at $exe" >&2
  exit 1
fi
exe=$(realpath "$exe")

# The program resolves the same directory itself; it is passed on because
# lighttpd gives the CGI neither HOME nor any other variable of ours.
if [ -n "${VELTRANE_STATE_DIR-}" ]; then
  state=$VELTRANE_STATE_DIR
else
  state=${HOME:-/root}/.tavrokin/connectors/plugin_veltrane
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-serve-XXXXXX")
child=""
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
    kill -TERM "$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM

conf=$workdir/lighttpd.conf
# The configuration names BOT_PASSWORD without holding it; lighttpd reads
# it from the environment it inherits from here.
"$root/scripts/lighttpd-conf.sh" "${allow[@]}" "$workdir" "$port" "$exe" "$state" >"$conf"
lighttpd -tt -f "$conf" >/dev/null

lighttpd -D -f "$conf" &
child=$!
# A port that is taken makes lighttpd exit at once.
sleep 0.3
if ! kill -0 "$child" 2>/dev/null; then
  echo "serve.sh: lighttpd did not start (is port $port free?)" >&2
  cat "$workdir/error.log" >&2 2>/dev/null || true
  exit 1
fi

echo "Serving $exe"
echo "State directory: $state"
echo "Open http://127.0.0.1:$port/ (the viewer, at /plugin_veltrane)"
if [ -n "${BOT_PASSWORD-}" ]; then
  echo "  BOT_PASSWORD is set: type the password in the page when it asks."
  echo "  (Or pass it once as ?pwd=..., percent-encoded; the page takes it out of the address.)"
fi
echo "Hub route: http://127.0.0.1:$port/plugins?plugin=veltrane"
echo "Press Ctrl-C to stop."
wait "$child"
