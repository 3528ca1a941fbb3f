#!/usr/bin/env bash
# Builds the program for Linux and for Windows and packs each build with
# CPack, into build/packages/:
#   plugin-veltrane_VERSION_ARCH.deb            the Linux program, installed into /usr
#   plugin_veltrane-VERSION-windows-x86_64.zip  plugin_veltrane.exe (standalone)
# Both hold bin/ and share/doc/plugin_veltrane/ (README.md, LICENSE,
# CHANGELOG.md), as `cmake --install` lays them out.
#   usage: package.sh [LINUX_PRESET]
# LINUX_PRESET is the build the .deb is made from: release (the default), or
# default, the build the test command has already made and tested.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-release}
case $linux in
  release | default) ;;
  *) echo "package.sh: the .deb is made from the release or the default build, not '$linux'" >&2; exit 2 ;;
esac

scripts/setup.sh package
scripts/build.sh "$linux" plugin_veltrane >/dev/null
scripts/build.sh windows plugin_veltrane >/dev/null

out=build/packages
rm -rf "$out"
mkdir -p "$out"
for preset in "$linux" windows; do
  # CPack stages in its own folder of the build; only the packages move on.
  rm -rf "build/$preset/cpack"
  (cd "build/$preset" && cpack -B cpack >/dev/null)
  find "build/$preset/cpack" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) -exec cp {} "$out"/ \;
done
ls -1 "$out"
