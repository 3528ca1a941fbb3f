#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# unit, black-box and fuzz-regression tests (optimised, and with ASan+UBSan),
# the format and static checks, a short libFuzzer session per target
# (clang), the black-box suite against the Windows build under wine, the
# packages (the .deb installed into a temporary root, the Windows zip), and
# the end-to-end tests with the official MCP clients, a real web server and a
# real browser. Every build here treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# No test may touch the real state. ctest gives each test a home and a state
# directory under the build tree; the runs outside ctest get the scratch ones
# below. The guard checks ~/.tavrokin before every step and at the end.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-test-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home"
tests/home_guard.sh snapshot "$scratch/home-before"

step() {
  tests/home_guard.sh compare "$scratch/home-before"
  printf '\n==== %s\n' "$*"
}

step "installing what is missing"
scripts/setup.sh test

step "optimised build (g++) and its tests"
scripts/build.sh default
ctest --preset default -j2

step "format and static checks (clang-format, clang-tidy)"
scripts/lint.sh build/default

step "ASan + UBSan build and its tests"
scripts/build.sh asan
ctest --preset asan -j2

step "fuzz targets (clang, libFuzzer)"
scripts/build.sh fuzz
ctest --preset fuzz
HOME=$scratch/home VELTRANE_STATE_DIR=$scratch/state scripts/fuzz.sh "${FUZZ_SECONDS:-15}"

step "Windows build under wine: the black-box suite"
scripts/build.sh windows
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
# A persistent wine server, started (and the prefix created) before the
# suite, so that no wine helper process inherits a test's pipes.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 || true
HOME=$scratch/home VELTRANE_STATE_DIR=$scratch/state \
  VELTRANE_EXE=$root/build/windows/plugin_veltrane.exe VELTRANE_EXE_WRAPPER=wine \
  build/default/tests/veltrane_blackbox --gtest_brief=1

step "packages: the .deb installed into a temporary root, the Windows zip"
# The .deb is made from the optimised build tested above.
scripts/package.sh default
tests/package/check_packages.sh
wineserver -k >/dev/null 2>&1 || true

step "end-to-end: MCP client, web server, browser"
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
(cd tests/node && HOME=$scratch/home VELTRANE_EXE=$root/build/default/plugin_veltrane \
  node --test --test-concurrency=1)

tests/home_guard.sh compare "$scratch/home-before"
printf '\n==== all tests passed\n'
