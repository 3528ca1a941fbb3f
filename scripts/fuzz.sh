#!/usr/bin/env bash
# Runs each libFuzzer target of the fuzz build for a while, starting from its
# seed corpus (the corpus folder is not changed; new inputs go to a scratch
# folder under build/).
#   usage: fuzz.sh [SECONDS_EACH]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shopt -s nullglob
for source in tests/fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  name=${target#fuzz_}
  scratch=build/fuzz/corpus-$name
  mkdir -p "$scratch"
  echo "fuzzing $name for ${seconds}s"
  build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=0 "$scratch" "tests/fuzz/corpus/$name" 2>build/fuzz/"$name".log \
    || { tail -n 40 build/fuzz/"$name".log; exit 1; }
done
