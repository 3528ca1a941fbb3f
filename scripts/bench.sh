#!/usr/bin/env bash
# Builds the benchmark and measures the chain store at 0.1, 1, 4 and 7.5 MiB:
# each CGI read action against spawning `cat` on the file (from the summary
# and from the full pass that re-validates the file), peak memory, one
# recording and the first recording of an MCP server against writing,
# syncing and renaming a file of the same size, and two servers recording
# into one directory. Runs are interleaved; the figures are medians with min
# and max, and the CPU time per MCP tool call. Figures vary with the machine and its load (printed with them);
# no test asserts them.
#   usage: bench.sh [--rounds N] [--sizes 0.1,1,4,7.5] [--before PROGRAM]
# --before measures another build of the program (say, of the main branch)
# in the same run, interleaved with this one.
set -euo pipefail
cd "$(dirname "$0")/.."
options=() before=""
while [ $# -gt 0 ]; do
  case $1 in
    --rounds|--sizes) options+=("$1" "$2"); shift ;;
    --before) before=$(realpath "$2"); shift ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done
scripts/setup.sh build
scripts/build.sh bench >/dev/null
programs=("this=build/bench/plugin_veltrane")
if [ -n "$before" ]; then programs=("after=build/bench/plugin_veltrane" "before=$before"); fi
echo "$(nproc) cores; uptime: $(uptime)"
build/bench/bench/store_bench "${options[@]}" "${programs[@]}"
# CPU time per MCP tool call with recording off (B against A with --before).
if [ -n "$before" ]; then
  bench/mcp_cpu.sh "$before" build/bench/plugin_veltrane
else
  bench/mcp_cpu.sh build/bench/plugin_veltrane
fi
echo "uptime: $(uptime)"
