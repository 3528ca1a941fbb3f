#!/usr/bin/env bash
# Configures and builds one preset (default: the optimised build with the
# tests), or only the given targets of it.
#   usage: build.sh [PRESET [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
shift || true
if [ "$preset" = windows ]; then
  # The cross compiler must see the JSON headers without the rest of the
  # host's /usr/include.
  mkdir -p build/windows-include
  ln -sfn /usr/include/rapidjson build/windows-include/rapidjson
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"
