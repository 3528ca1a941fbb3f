#!/usr/bin/env bash
# CPU time per MCP tool call (recording and console lines off): a stream of
# tool calls, written the way the official clients write them (the id after
# the params), through `--mcp` into /dev/null. With a second executable the
# two run in turn, round by round, and the ratio B/A is printed per round.
#   usage: mcp_cpu.sh EXE [EXE_B] [ROUNDS] [CALLS]
set -euo pipefail
a=$1 b=${2:-} rounds=${3:-15} calls=${4:-40000}

input=$(mktemp "${TMPDIR:-/tmp}/mcp-cpu-XXXXXX")
state=$(mktemp -d "${TMPDIR:-/tmp}/mcp-cpu-state-XXXXXX")
trap 'rm -rf "$input" "$state"' EXIT
text="Compare the two readings of the requirement; the second one keeps the order of the steps and needs no extra state."
for ((i = 1; i <= calls; i++)); do
  printf '{"method":"tools/call","params":{"name":"veltraneflowstream","arguments":{"thought":"%s","nextThoughtNeeded":true,"thoughtNumber":%d,"totalThoughts":%d}},"jsonrpc":"2.0","id":%d}\n' \
    "$text" "$i" "$calls" "$i"
done >"$input"

# Microseconds of user + system CPU per call for one run.
cpu_per_call() {
  local t
  t=$( (DISABLE_THOUGHT_LOGGING=1 VELTRANE_STATE_DIR=$state "$1" --mcp <"$input" >/dev/null; times) | tail -n 1)
  # times prints the children's "XmY.YYYs XmY.YYYs".
  awk -v t="$t" -v n="$calls" 'BEGIN {
    split(t, f, " "); s = 0
    for (i = 1; i <= 2; i++) { split(f[i], m, "m"); sub("s", "", m[2]); s += m[1] * 60 + m[2] }
    printf "%.3f\n", s * 1e6 / n }'
}

stats() { sort -g | awk '{ v[NR] = $1 } END { printf "median %.3f  min %.3f  max %.3f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'; }

ra=() rb=() ratio=()
for ((r = 0; r < rounds; r++)); do
  x=$(cpu_per_call "$a"); ra+=("$x")
  if [ -n "$b" ]; then
    y=$(cpu_per_call "$b"); rb+=("$y")
    ratio+=("$(awk -v a="$x" -v b="$y" 'BEGIN { printf "%.3f", b / a }')")
  fi
done
echo "MCP CPU per tool call, $calls calls a run, $rounds rounds (microseconds of user+system CPU)"
printf '  A %s: %s' "$a" "$(printf '%s\n' "${ra[@]}" | stats)"; echo
if [ -n "$b" ]; then
  printf '  B %s: %s' "$b" "$(printf '%s\n' "${rb[@]}" | stats)"; echo
  printf '  B/A per round: %s' "$(printf '%s\n' "${ratio[@]}" | stats)"; echo
fi
