#!/usr/bin/env bash
# Refreshes the vendored CommonMark parser in third_party/markdown-it/ from
# the npm registry: the package's one-file browser build (which carries its
# few dependencies inside it), the licence texts of the package and of every
# package bundled into that file, and a README naming the version and the
# file's sha256. The pinned version below is the only place it is written;
# change it and run this script to move to another release, then run the
# markdown tests (tests/node/markdown.test.mjs).
#   usage: vendor-markdown.sh
set -euo pipefail
cd "$(dirname "$0")/.."

name=markdown-it
version=15.0.3
dist=dist/browser/markdown-it.umd.min.js
# What the browser build bundles (its source map lists them); the command
# line's own dependency is not in it.
bundled=(entities linkify-it mdurl punycode.js uc.micro)
permissive='^(MIT|ISC|BSD-2-Clause|BSD-3-Clause|Apache-2.0|0BSD)$'
out=third_party/markdown-it

command -v npm >/dev/null || { echo "vendor-markdown.sh: npm is needed (scripts/setup.sh test)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$tmp" && npm pack --silent "$name@$version" >/dev/null)
tar -xzf "$tmp/$name-$version.tgz" -C "$tmp"
# The dependencies as the package declares them, for their licence texts.
npm install --silent --prefix "$tmp/deps" --ignore-scripts --no-save --no-audit --no-fund \
  --omit=dev "$name@$version" >/dev/null

license_of() { node -e 'const p = require(process.argv[1]); console.log(`${p.version} ${p.license}`)' "$1/package.json"; }
read -r got main_license < <(license_of "$tmp/package")
[ "$got" = "$version" ] || { echo "vendor-markdown.sh: packed $got, wanted $version" >&2; exit 1; }
[[ $main_license =~ $permissive ]] || { echo "vendor-markdown.sh: $name is $main_license" >&2; exit 1; }

mkdir -p "$out"
# The file as published, less its last line: a source-map comment naming a
# file that is not vendored. It then ends in a newline, so it can be joined
# with other scripts.
sed '$ s|^//# sourceMappingURL=.*$||' "$tmp/package/$dist" | sed '${/^$/d}' >"$out/markdown-it.min.js"
if grep -q sourceMappingURL "$out/markdown-it.min.js"; then echo "vendor-markdown.sh: source-map comment left" >&2; exit 1; fi
# The file is placed inside an inline <script> element: an HTML parser would
# end that element early at "</script", or, after a "<!--", stop ending it
# at all after a "<script".
if grep -qi '<script\|</script' "$out/markdown-it.min.js"; then
  echo "vendor-markdown.sh: the file names a script tag and cannot be inlined" >&2
  exit 1
fi

{
  echo "$name $version ($main_license)"
  echo
  cat "$tmp/package/LICENSE"
  for dep in "${bundled[@]}"; do
    dir=$tmp/deps/node_modules/$dep
    read -r dep_version dep_license < <(license_of "$dir")
    [[ $dep_license =~ $permissive ]] || { echo "vendor-markdown.sh: $dep is $dep_license" >&2; exit 1; }
    licence_file=$(find "$dir" -maxdepth 1 -iname 'licen[cs]e*' | head -n 1)
    [ -n "$licence_file" ] || { echo "vendor-markdown.sh: $dep has no licence file" >&2; exit 1; }
    echo
    echo "------------------------------------------------------------------------"
    echo "Bundled into the file: $dep $dep_version ($dep_license)"
    echo
    cat "$licence_file"
  done
} >"$out/LICENSE"

upstream_sha=$(sha256sum "$tmp/package/$dist" | cut -d' ' -f1)
sha=$(sha256sum "$out/markdown-it.min.js" | cut -d' ' -f1)
size=$(wc -c <"$out/markdown-it.min.js")
cat >"$out/README.md" <<EOF
# markdown-it $version

The CommonMark parser the viewer page and the in-client view render thoughts
with (through src/web/page/markdown.js, which builds every element itself from
the parser's tokens). Written by scripts/vendor-markdown.sh; do not edit by hand.

- \`markdown-it.min.js\`: the package's \`$dist\` ($size bytes,
  sha256 \`$sha\`), as published (sha256 \`$upstream_sha\`)
  less its last line, a source-map comment.
- \`LICENSE\`: the licence of $name ($main_license) and of each package bundled
  into the file: ${bundled[*]}.
EOF

echo "$name $version: $out/markdown-it.min.js, $size bytes"
echo "sha256 $sha"
echo "sha256 $upstream_sha (as published)"
