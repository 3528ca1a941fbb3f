#!/usr/bin/env bash
# Builds the benchmarks and measures one recording into stores of 0, 1 MiB
# and 8 MiB beside the floor: writing, syncing and renaming a file of the
# same size. Figures vary with the disk; no test asserts them.
#   usage: bench.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
scripts/build.sh bench >/dev/null
build/bench/bench/store_bench "${1:-40}"
# CPU time per MCP tool call with recording off.
bench/mcp_cpu.sh build/bench/plugin_veltrane
