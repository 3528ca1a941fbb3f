#!/usr/bin/env bash
# Checks the packages scripts/package.sh left in build/packages/, as a user
# would meet them: the .deb unpacked into a temporary root (no system-wide
# install) holds the program and its documents, prints its version and
# answers an MCP tool call, recording the thought; the Windows zip holds
# exactly the expected files, and its program prints its version under wine
# when WINEPREFIX names a wine prefix to use.
#   usage: tests/package/check_packages.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
packages=$root/build/packages
version=$(sed -n 's/^project(plugin_veltrane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
tmp=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-packages-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "check_packages: $*" >&2
  exit 1
}
[ -n "$version" ] || fail "no version in CMakeLists.txt"

# The .deb: its files, unpacked into a temporary root.
deb=$packages/plugin-veltrane_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "missing $deb"
dpkg -x "$deb" "$tmp/root"
want_files="./usr/bin/plugin_veltrane
./usr/share/doc/plugin_veltrane/CHANGELOG.md
./usr/share/doc/plugin_veltrane/LICENSE
./usr/share/doc/plugin_veltrane/README.md"
got_files=$(cd "$tmp/root" && find . -type f | LC_ALL=C sort)
[ "$got_files" = "$want_files" ] || fail "the .deb holds:"$'\n'"$got_files"$'\n'"expected:"$'\n'"$want_files"
for doc in README.md LICENSE CHANGELOG.md; do
  cmp -s "$tmp/root/usr/share/doc/plugin_veltrane/$doc" "$root/$doc" || fail "the .deb's $doc differs from the source tree's"
done
[ "$(dpkg-deb -f "$deb" Package Version)" = "Package: plugin-veltrane"$'\n'"Version: $version" ] ||
  fail "the .deb's control fields: $(dpkg-deb -f "$deb" Package Version)"

# The installed program, run with an empty environment apart from a
# temporary home and state directory. $(...) drops the final LF, so the
# outputs are compared with a marker after them.
exe=$tmp/root/usr/bin/plugin_veltrane
mkdir -p "$tmp/home"
run() { env -i PATH=/usr/bin:/bin HOME="$tmp/home" VELTRANE_STATE_DIR="$tmp/state" "$exe" "$@"; }
got=$(run --version; printf x)
[ "$got" = "plugin_veltrane $version"$'\n'x ] || fail "the installed --version printed: $got"

request='{"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":"veltraneflowstream","arguments":{"thought":"Installed and answering","thoughtNumber":1,"totalThoughts":1,"nextThoughtNeeded":false}}}'
record='{"thoughtNumber":1,"totalThoughts":1,"nextThoughtNeeded":false,"branches":[],"thoughtHistoryLength":1}'
want='{"jsonrpc":"2.0","id":7,"result":{"content":[{"type":"text","text":"'${record//\"/\\\"}'"}],"structuredContent":'$record',"isError":false}}'
got=$(printf '%s\n' "$request" | run --mcp 2>"$tmp/mcp-stderr"; printf x)
[ "$got" = "$want"$'\n'x ] || fail "the installed MCP server answered:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
grep -q '"thought":"Installed and answering"' "$tmp/state/chains.json" ||
  fail "the installed MCP server did not record the thought in $tmp/state/chains.json"

# The Windows zip: its entries, then its program.
zip=$packages/plugin_veltrane-$version-windows-x86_64.zip
[ -f "$zip" ] || fail "missing $zip"
top=plugin_veltrane-$version-windows-x86_64
want_entries="$top/bin/plugin_veltrane.exe
$top/share/doc/plugin_veltrane/CHANGELOG.md
$top/share/doc/plugin_veltrane/LICENSE
$top/share/doc/plugin_veltrane/README.md"
got_entries=$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
[ "$got_entries" = "$want_entries" ] || fail "the zip holds:"$'\n'"$got_entries"$'\n'"expected:"$'\n'"$want_entries"
if [ -n "${WINEPREFIX-}" ]; then
  mkdir -p "$tmp/zip"
  (cd "$tmp/zip" && cmake -E tar xf "$zip")
  got=$(WINEDEBUG=-all wine "$tmp/zip/$top/bin/plugin_veltrane.exe" --version; printf x)
  [ "$got" = "plugin_veltrane $version"$'\n'x ] || fail "the zipped plugin_veltrane.exe --version printed: $got"
fi
echo "packages ok: $(basename "$deb") (installed into a temporary root), $(basename "$zip")"
