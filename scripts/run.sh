#!/usr/bin/env bash
# Installs what is missing, builds the program (and nothing else) and shows
# the whole product: the viewer served on 127.0.0.1 by lighttpd, with the MCP
# server ready for a client. Stop with Ctrl-C. See usage() below.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The release build: optimised, without the tests, and without warnings as
# errors, so that a newer compiler's new warnings do not stop it.
exe=$root/build/release/plugin_veltrane

usage() {
  cat <<'USAGE'
usage: scripts/run.sh [--port N] [--allow-host NAME]... [--sample]
       scripts/run.sh --mcp

Builds the program (build/release/plugin_veltrane), prints how to point an
MCP client at it, and serves the viewer on http://127.0.0.1:PORT/ with
lighttpd until Ctrl-C.

  --port N, --port=N  serve on port N (default 8080)
  --allow-host NAME   also answer requests made to NAME:PORT (requests for
                      any other host name are refused)
  --sample            first record a sample chain (14 thoughts with code, tables,
                      revisions and a branch) through the MCP server
  --mcp               run the MCP server on stdio instead of serving the viewer
  -h, --help          print this help

VELTRANE_STATE_DIR chooses the state directory (default
~/.tavrokin/connectors/plugin_veltrane); BOT_PASSWORD and MAX_THOUGHT_HISTORY
are passed on to the program when set. With BOT_PASSWORD, open the printed
address and type the password in the page.
USAGE
}

fail() {
  echo "run.sh: $*" >&2
  echo "Try 'scripts/run.sh --help'." >&2
  exit 2
}

# Options are checked before anything is installed or built.
port=8080 sample=0 mcp=0
allow=()
while [ $# -gt 0 ]; do
  case $1 in
    --port)
      [ $# -ge 2 ] || fail "--port needs a port number"
      port=$2
      shift 2
      ;;
    --port=*) port=${1#--port=}; shift ;;
    --allow-host)
      [ $# -ge 2 ] || fail "--allow-host needs a host name"
      allow+=(--allow-host "$2")
      shift 2
      ;;
    --allow-host=*) allow+=(--allow-host "${1#--allow-host=}"); shift ;;
    --sample) sample=1; shift ;;
    --mcp) mcp=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) fail "unknown option '$1'" ;;
  esac
done
case $port in
  '' | *[!0-9]*) fail "--port needs a port number, got '$port'" ;;
esac
if [ "${#port}" -gt 5 ] || [ "$((10#$port))" -lt 1 ] || [ "$((10#$port))" -gt 65535 ]; then
  fail "--port needs a port number from 1 to 65535, got '$port'"
fi
port=$((10#$port))
for ((i = 1; i < ${#allow[@]}; i += 2)); do
  [[ ${allow[i],,} =~ ^[a-z0-9]([a-z0-9.-]*[a-z0-9])?\.?$ ]] || fail "--allow-host needs a host name, got '${allow[i]}'"
done
if [ "$mcp" = 1 ] && [ "$sample" = 1 ]; then fail "--sample serves the viewer; it does not go with --mcp"; fi

# Shows the build's messages short: one line per step ("[ 40%] compiling
# src/store/recorder.cpp"), rewritten in place on a terminal; what is not a
# step (a compiler's warning or error) passes through as it is.
show_progress() {
  local line step shown=0 tty=0 steps=0 others=0
  [ -t 1 ] && tty=1
  while IFS= read -r line; do
    case $line in
      "Scanning dependencies of target "* | "Consolidate compiler generated dependencies of target "*) continue ;;
      \[*%\]\ *) ;;
      *)
        [ "$shown" = 1 ] && [ "$tty" = 1 ] && printf '\r\033[K'
        shown=0
        others=$((others + 1))
        printf '%s\n' "$line"
        continue
        ;;
    esac
    step=${line#*] }
    case $step in
      "Built target "*) continue ;;
      "Building CXX object "*) step=${step#Building CXX object }; step="compiling ${step#*.dir/}"; step=${step%.o} ;;
      "Linking CXX "*) step="linking ${step##* }" ;;
      *) step=${step,} ;;
    esac
    step="${line%%]*}] $step"
    steps=$((steps + 1))
    if [ "$tty" = 1 ]; then
      printf '\r\033[K  %s' "$step"
      shown=1
    else
      printf '  %s\n' "$step"
    fi
  done
  [ "$shown" = 1 ] && printf '\r\033[K'
  [ "$steps" = 0 ] && [ "$others" = 0 ] && echo "  nothing to rebuild"
  return 0
}

# Builds the program (the release preset), saying what it builds and how
# long it took. Fails with the build's messages shown.
build_program() {
  local started=$SECONDS
  if [ -x "$exe" ]; then
    echo "Building $exe (only what changed) ..."
  else
    echo "Building $exe; the first build takes about 20 s on two cores ..."
  fi
  if ! scripts/build.sh release 2>&1 | show_progress; then
    echo "run.sh: the build failed (its messages are above)." >&2
    exit 1
  fi
  echo "Done in $((SECONDS - started)) s."
}

if [ "$mcp" = 1 ]; then
  # Standard output is the MCP channel: everything else goes to stderr.
  scripts/setup.sh build >&2
  build_program >&2
  exec "$exe" --mcp
fi

scripts/setup.sh build serve
build_program

# The number of stored chains, as the program itself reports it.
stored_chains() {
  GATEWAY_INTERFACE=CGI/1.1 QUERY_STRING=action=stats REQUEST_METHOD=GET BOT_PASSWORD='' "$exe" | sed -n 's/.*"chains":\([0-9]*\).*/\1/p'
}

if [ "$sample" = 1 ]; then
  scripts/record-sample.sh "$exe"
fi

# A client that does not pass the environment on must be told where the
# viewer's chains are.
client_env=""
if [ -n "${VELTRANE_STATE_DIR-}" ]; then
  client_env=", \"env\": { \"VELTRANE_STATE_DIR\": \"$VELTRANE_STATE_DIR\" }"
fi

cat <<EOF

MCP server: point your MCP client at this command (stdio transport):
  $exe --mcp
for example, in a client configuration file:
  { "mcpServers": { "veltrane": { "command": "$exe", "args": ["--mcp"]$client_env } } }
EOF
if [ "$(stored_chains)" = 0 ]; then
  echo
  echo "No thought chains are stored yet. Ask your MCP client to use the veltraneflowstream tool,"
  echo "or record a sample chain: scripts/run.sh --sample"
fi
echo
exec scripts/serve.sh --port "$port" "${allow[@]}" "$exe"
