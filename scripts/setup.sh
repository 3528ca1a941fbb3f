#!/usr/bin/env bash
# Installs what is missing for a group of tasks, on Debian. Idempotent:
# packages already present are not touched, and nothing is installed when
# nothing is missing.
#   usage: setup.sh build|serve|package|test...
set -euo pipefail

packages=()
for group in "$@"; do
  case $group in
    build) packages+=(cmake make g++ rapidjson-dev) ;;
    serve) packages+=(lighttpd) ;;
    package) packages+=(cmake make g++ rapidjson-dev dpkg-dev g++-mingw-w64-x86-64-posix) ;;
    test)
      packages+=(cmake make g++ rapidjson-dev googletest libgtest-dev libbenchmark-dev
                 clang libclang-rt-14-dev clang-format clang-tidy g++-mingw-w64-x86-64-posix wine64 lighttpd
                 chromium dpkg-dev curl procps) ;;
    *) echo "setup.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  for group in "$@"; do [ "$group" = test ] && missing+=(nodejs npm) && break; done
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
