#!/usr/bin/env bash
# Records a short sample chain (a revision and a branch) through the MCP
# server itself, into the state directory the environment selects.
#   usage: record-sample.sh [EXECUTABLE]
set -euo pipefail
exe=${1:-"$(dirname "$0")/../build/release/plugin_veltrane"}
call() {
  printf '{"jsonrpc":"2.0","id":%d,"method":"tools/call","params":{"name":"veltraneflowstream","arguments":%s}}\n' "$1" "$2"
}
{
  printf '{"jsonrpc":"2.0","id":0,"method":"initialize","params":{}}\n'
  call 1 '{"thought":"List what the problem gives us","thoughtNumber":1,"totalThoughts":4,"nextThoughtNeeded":true}'
  call 2 '{"thought":"Try the direct approach first","thoughtNumber":2,"totalThoughts":4,"nextThoughtNeeded":true}'
  call 3 '{"thought":"The list missed a constraint; restate it","thoughtNumber":3,"totalThoughts":4,"nextThoughtNeeded":true,"isRevision":true,"revisesThought":1}'
  call 4 '{"thought":"Branch: the other order","thoughtNumber":4,"totalThoughts":5,"nextThoughtNeeded":true,"branchFromThought":2,"branchId":"alt","needsMoreThoughts":true}'
  call 5 '{"thought":"Both orders agree; done","thoughtNumber":5,"totalThoughts":5,"nextThoughtNeeded":false}'
} | DISABLE_THOUGHT_LOGGING= "$exe" --mcp >/dev/null
echo "Recorded a sample chain of 5 thoughts."
