#!/usr/bin/env bash
# Installs what the build needs and is missing, with apt-get (as root, or
# through sudo). Groups: base (compiler, CMake, Ninja, GoogleTest), plus any of
# bench, fuzz, windows, docs, package given as arguments.
set -euo pipefail

want=(cmake ninja-build make g++ libgtest-dev)
for group in "$@"; do
  case "$group" in
    base) ;;
    bench) want+=(libbenchmark-dev hyperfine time) ;;
    fuzz) want+=(clang libclang-rt-dev) ;;
    windows) want+=(mingw-w64 wine64 locales zip) ;;
    docs) want+=(man-db groff-base) ;;
    package) want+=(dpkg-dev file lintian) ;;
    *) echo "deps.sh: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); elif command -v sudo >/dev/null; then sudo=(sudo); else
  echo "deps.sh: need root to install: ${missing[*]}" >&2; exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
