#!/usr/bin/env bash
# Installs what is missing, builds the program and shows the whole product:
# the viewer served on 127.0.0.1 by lighttpd, with the MCP server ready for a
# client. Stop with Ctrl-C.
#   usage: run.sh [--port N] [--sample]   serve the viewer (default port 8080);
#                                         --sample first records a short chain
#          run.sh --mcp                   run the MCP server on stdio instead
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/build/default/plugin_veltrane

port=8080 sample=0 mcp=0
while [ $# -gt 0 ]; do
  case $1 in
    --port) port=$2; shift ;;
    --sample) sample=1 ;;
    --mcp) mcp=1 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

if [ "$mcp" = 1 ]; then
  scripts/setup.sh build >&2
  scripts/build.sh default >&2
  exec "$exe" --mcp
fi

scripts/setup.sh build serve
echo "Building $exe ..."
scripts/build.sh default >/dev/null

# The number of stored chains, as the program itself reports it.
stored_chains() {
  QUERY_STRING=action=stats REQUEST_METHOD=GET BOT_PASSWORD= "$exe" | sed -n 's/.*"chains":\([0-9]*\).*/\1/p'
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
  echo "or record a short sample chain: scripts/run.sh --sample"
fi
echo
exec scripts/serve.sh --port "$port" "$exe"
