#!/usr/bin/env bash
# Records a sample chain through the MCP server itself, into the state
# directory the environment selects: the thoughts of scripts/sample-chain.txt,
# a latency regression investigated in 14 thoughts with code, tables, two
# revisions, a branch of three thoughts and an estimate raised twice.
#   usage: record-sample.sh [EXECUTABLE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-"$here/../build/release/plugin_veltrane"}
sample=$here/sample-chain.txt

# One tools/call line per thought of the sample, after an initialize.
requests() {
  awk '
    function esc(s,    out, i, c) {
      out = ""
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\") out = out "\\\\"
        else if (c == "\"") out = out "\\\""
        else if (c == "\t") out = out "\\t"
        else out = out c
      }
      return out
    }
    function flush(    text, i) {
      if (!open) return
      while (last > first && lines[last] == "") last--
      text = ""
      for (i = first; i <= last; i++) text = text (i > first ? "\\n" : "") esc(lines[i])
      printf "{\"jsonrpc\":\"2.0\",\"id\":%d,\"method\":\"tools/call\",\"params\":{\"name\":\"veltraneflowstream\",", ++id
      printf "\"arguments\":{\"thought\":\"%s\"%s}}}\n", text, head
    }
    BEGIN { print "{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"initialize\",\"params\":{}}" }
    /^@thought( |$)/ {
      flush()
      open = 1
      head = ""
      for (i = 2; i <= NF; i++) {
        eq = index($i, "=")
        name = substr($i, 1, eq - 1)
        value = substr($i, eq + 1)
        if (value !~ /^(true|false|[0-9]+)$/) value = "\"" esc(value) "\""
        head = head ",\"" name "\":" value
      }
      first = NR + 1
      last = NR
      started = 0
      next
    }
    open {
      if (!started && $0 == "") { first = NR + 1; last = NR; next }
      started = 1
      lines[NR] = $0
      last = NR
    }
    END { flush() }
  ' "$sample"
}

thoughts=$(grep -c '^@thought' "$sample")
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
status=0
answers=$(requests | DISABLE_THOUGHT_LOGGING='' "$exe" --mcp 2>"$errors") || status=$?
accepted=$(grep -c '"isError":false' <<<"$answers" || true)
if [ "$status" != 0 ] || [ "$accepted" != "$thoughts" ]; then
  echo "record-sample.sh: $exe --mcp (exit status $status) accepted $accepted of the sample's $thoughts thoughts." >&2
  [ -z "$answers" ] || grep -v '"isError":false' <<<"$answers" >&2 || true
  grep -v '^\[veltrane\] ' "$errors" >&2 || true
  exit 1
fi
echo "Recorded a sample chain of $thoughts thoughts: a latency regression investigated, with code,"
echo "tables, two revisions, a branch of three thoughts and a raised estimate."
