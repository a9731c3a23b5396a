#!/usr/bin/env bash
# Builds the packages with CPack and checks what they hold:
#   deb   build/release/tarvin_VERSION_ARCH.deb: /usr/bin/tarvin and its manual page
#   zip   build/windows-x64/tarvin-VERSION-win64.zip: tarvin.exe, README.txt and LICENSE.txt
# Each from its preset's build, which is configured and brought up to date
# first.
#
#   scripts/package.sh [deb] [zip]     (default: deb)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(deb)

fail() { echo "package.sh: $*" >&2; exit 1; }

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb)
      bash scripts/deps.sh package
      configure_preset release
      cmake --build --preset release -j"$(nproc)" --target tarvin
      rm -f build/release/tarvin_*.deb
      (cd build/release && cpack -G DEB >/dev/null)
      deb=$(ls build/release/tarvin_*.deb)
      contents=$(dpkg-deb -c "$deb")
      for path in ./usr/bin/tarvin ./usr/share/man/man1/tarvin.1; do
        grep -q " $path\$" <<<"$contents" || fail "$deb lacks $path"
      done
      [ "$(dpkg-deb -f "$deb" Package)" = tarvin ] || fail "$deb: wrong package name"
      depends=$(dpkg-deb -f "$deb" Depends)
      grep -q 'libc6' <<<"$depends" || fail "$deb: Depends lacks libc6 ($depends)"
      # The packaged program is stripped and still runs.
      scratch=$(mktemp -d)
      dpkg-deb -x "$deb" "$scratch"
      file "$scratch/usr/bin/tarvin" | grep -q ', stripped' || { rm -rf "$scratch"; fail "$deb: tarvin is not stripped"; }
      "$scratch/usr/bin/tarvin" --help | grep -q Molvar || { rm -rf "$scratch"; fail "$deb: tarvin does not run"; }
      rm -rf "$scratch"
      echo "$deb: $(dpkg-deb -f "$deb" Version), Depends: $depends"
      ;;
    zip)
      bash scripts/deps.sh windows
      configure_preset windows-x64
      cmake --build --preset windows-x64 -j"$(nproc)" --target tarvin
      rm -f build/windows-x64/tarvin-*.zip
      (cd build/windows-x64 && cpack -G ZIP >/dev/null)
      zip=$(ls build/windows-x64/tarvin-*.zip)
      top=$(basename "$zip" .zip)
      listing=$(cmake -E tar tf "$zip")
      for path in "$top/tarvin.exe" "$top/README.txt" "$top/LICENSE.txt"; do
        grep -qx "$path" <<<"$listing" || fail "$zip lacks $path"
      done
      echo "$zip: $(tr '\n' ' ' <<<"$listing")"
      ;;
    *) fail "unknown package kind $kind (deb or zip)" ;;
  esac
done
