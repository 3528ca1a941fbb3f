#!/usr/bin/env bash
# The format check and the static checks: clang-format (.clang-format) over
# every C++ file of the project, and clang-tidy (.clang-tidy) over the
# program's sources, with the compile commands of a configured build.
#   usage: lint.sh [BUILD_DIR]     (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint.sh: no $build/compile_commands.json; configure that build first" >&2
  exit 2
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "lint.sh: files above are not formatted; clang-format -i FILE fixes them" >&2
  exit 1
fi
echo "format: ${#files[@]} files as clang-format writes them"

# The Windows platform file is compiled only by the cross build.
if ! run-clang-tidy -quiet -p "$build" -j"$(nproc)" "$PWD/src/(?!common/platform_windows)" >"$build/clang-tidy.log" 2>&1; then
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2 || cat "$build/clang-tidy.log" >&2
  echo "lint.sh: clang-tidy found the problems above (full output: $build/clang-tidy.log)" >&2
  exit 1
fi
echo "clang-tidy: the program's sources pass every check of .clang-tidy"
