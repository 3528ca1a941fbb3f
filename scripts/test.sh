#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# unit, black-box and fuzz-regression tests (optimised, and with ASan+UBSan),
# a short libFuzzer session per target (clang), the black-box suite against
# the Windows build under wine, and the end-to-end tests with a real MCP
# client, a real web server and a real browser.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

step() { printf '\n==== %s\n' "$*"; }

step "installing what is missing"
scripts/setup.sh test

step "optimised build (g++) and its tests"
scripts/build.sh default
ctest --preset default -j2

step "ASan + UBSan build and its tests"
scripts/build.sh asan
ctest --preset asan -j2

step "fuzz targets (clang, libFuzzer)"
scripts/build.sh fuzz
ctest --preset fuzz
scripts/fuzz.sh "${FUZZ_SECONDS:-15}"

step "Windows build under wine: the black-box suite"
scripts/build.sh windows
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
# A persistent wine server, started (and the prefix created) before the
# suite, so that no wine helper process inherits a test's pipes.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 || true
VELTRANE_EXE=$root/build/windows/plugin_veltrane.exe VELTRANE_EXE_WRAPPER=wine \
  build/default/tests/veltrane_blackbox --gtest_brief=1
wineserver -k >/dev/null 2>&1 || true

step "end-to-end: MCP client, web server, browser"
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
(cd tests/node && VELTRANE_EXE=$root/build/default/plugin_veltrane node --test --test-concurrency=1)
