#!/usr/bin/env bash
# Builds the packages and checks what they hold:
#   deb   build/release/tarvin_VERSION_ARCH.deb: the hardened program, its
#         manual page and bash completion, the user's README, the copyright
#         file and the changelog; lintian -I must report no tag at all, not
#         even an informational one. Beside it
#         build/release/tarvin-VERSION-linux-ARCH.tar.gz: the statically linked
#         program (built in build/static), its manual page, the completion,
#         LICENSE and the users' README.
#   zip   build/windows-x64/tarvin-VERSION-win64.zip: tarvin.exe, README.txt and
#         LICENSE.txt as the windows-x64 build installs them; README.txt must
#         name every option of the help of build/release/tarvin
# Each from its preset's build, which is configured and brought up to date
# first. Each package is made twice, and the two must be the same byte for
# byte: every time in them is SOURCE_DATE_EPOCH (unless set, the time of the
# last commit, or of the changelog's last entry outside a git checkout), their
# members are sorted and owned by root.
#
#   scripts/package.sh [deb] [zip]     (default: deb)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(deb)
umask 022

fail() { echo "package.sh: $*" >&2; exit 1; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' packaging/changelog | head -n 1)" +%s)
fi
export SOURCE_DATE_EPOCH

# Runs COMMAND twice; each run writes the package DIR/PATTERN (the file it
# finds), which must come out the same both times. Prints the package's path.
twice() {  # DIR PATTERN COMMAND...
  local dir=$1 pattern=$2 first package
  shift 2
  rm -f "$dir"/$pattern
  "$@" >/dev/null
  first=$(ls "$dir"/$pattern)
  mv "$first" "$first.first"
  "$@" >/dev/null
  package=$(ls "$dir"/$pattern)
  [ "$package" = "$first" ] || fail "two builds named their packages $first and $package"
  cmp "$first.first" "$package" || fail "$package differs between two builds"
  rm "$first.first"
  echo "$package"
}

cpack_in() { (cd "$1" && cpack -G "$2"); }

version_of() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"; }

# What the Windows build installs, zipped in DIR: without owners or Unix times
# (zip -X), each member's time that of SOURCE_DATE_EPOCH in UTC.
windows_zip() {  # DIR
  local zip top stage file
  top=tarvin-$(version_of build/windows-x64)-win64
  zip=$PWD/$1/$top.zip
  stage=build/windows-x64/stage
  rm -rf "$stage"
  cmake --install build/windows-x64 --strip --prefix "$stage/$top" >/dev/null
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$stage" && find "$top" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -9 -q -@ "$zip")
}

# The statically linked program and what goes with it, as a .tar.gz in DIR.
static_tarball() {  # DIR
  local dir=$1 version top stage
  configure_preset static
  cmake --build --preset static --target tarvin >/dev/null
  version=$(version_of build/static)
  top=tarvin-$version-linux-$(uname -m)
  stage=build/static/stage
  rm -rf "$stage"
  mkdir -p "$stage/$top"
  strip -o "$stage/$top/tarvin" build/static/tarvin
  gzip -9n <doc/tarvin.1 >"$stage/$top/tarvin.1.gz"
  cp LICENSE "$stage/$top/"
  cp build/static/README "$stage/$top/README"  # the users' README, as the .deb has it
  cp completion/tarvin.bash "$stage/$top/tarvin.bash"
  chmod 0644 "$stage/$top"/*
  chmod 0755 "$stage/$top" "$stage/$top/tarvin"
  tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
      --mtime="@$SOURCE_DATE_EPOCH" --directory="$stage" "$top" | gzip -9n >"$dir/$top.tar.gz"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb)
      bash scripts/deps.sh package
      configure_preset release
      cmake --build --preset release --target tarvin >/dev/null
      deb=$(twice build/release 'tarvin_*.deb' cpack_in build/release DEB)
      contents=$(dpkg-deb -c "$deb")
      for path in ./usr/bin/tarvin ./usr/share/man/man1/tarvin.1.gz \
          ./usr/share/bash-completion/completions/tarvin ./usr/share/doc/tarvin/copyright \
          ./usr/share/doc/tarvin/changelog.gz ./usr/share/doc/tarvin/README; do
        grep -q " $path\$" <<<"$contents" || fail "$deb lacks $path"
      done
      [ "$(dpkg-deb -f "$deb" Package)" = tarvin ] || fail "$deb: wrong package name"
      depends=$(dpkg-deb -f "$deb" Depends)
      grep -q 'libc6' <<<"$depends" || fail "$deb: Depends lacks libc6 ($depends)"
      # lintian warns that it runs as root; every tag it reports, informational
      # ones too (a hardening flag missing, an unneeded section), fails the run.
      lintian -I --fail-on error,warning,info "$deb" 2> >(grep -v 'root privileges' >&2) ||
        fail "$deb: lintian reports the tags above"
      # The packaged program is stripped and still runs.
      scratch=$(mktemp -d)
      dpkg-deb -x "$deb" "$scratch"
      file "$scratch/usr/bin/tarvin" | grep -q ', stripped' || { rm -rf "$scratch"; fail "$deb: tarvin is not stripped"; }
      "$scratch/usr/bin/tarvin" --help | grep -q Molvar || { rm -rf "$scratch"; fail "$deb: tarvin does not run"; }
      rm -rf "$scratch"
      echo "$deb: $(dpkg-deb -f "$deb" Version), Depends: $depends, lintian clean, the same when built twice"

      tarball=$(twice build/release 'tarvin-*-linux-*.tar.gz' static_tarball build/release)
      top=$(basename "$tarball" .tar.gz)
      listing=$(tar -tzf "$tarball" | sort)
      expected=$(printf '%s\n' "$top/" "$top/"{LICENSE,README,tarvin,tarvin.1.gz,tarvin.bash} | sort)
      [ "$listing" = "$expected" ] || fail "$tarball holds: $listing"
      scratch=$(mktemp -d)
      tar -xzf "$tarball" -C "$scratch"
      program="$scratch/$top/tarvin"
      file "$program" | grep -q 'statically linked' || { rm -rf "$scratch"; fail "$tarball: tarvin is not static"; }
      # It converts the sample archive as the program of the .deb does.
      samples=(samples/archive/2004 samples/archive/2005)
      cmp -s <("$program" "${samples[@]}" 2>/dev/null) <(build/release/tarvin "${samples[@]}" 2>/dev/null) ||
        { rm -rf "$scratch"; fail "$tarball: tarvin does not convert the samples as build/release/tarvin"; }
      rm -rf "$scratch"
      echo "$tarball: $(tr '\n' ' ' <<<"$listing")(static), the same when built twice"
      ;;
    zip)
      bash scripts/deps.sh windows
      configure_preset windows-x64
      cmake --build --preset windows-x64 --target tarvin >/dev/null
      zip=$(twice build/windows-x64 'tarvin-*.zip' windows_zip build/windows-x64)
      top=$(basename "$zip" .zip)
      listing=$(zipinfo -1 "$zip")
      expected=$(printf '%s\n' "$top/"{LICENSE.txt,README.txt,tarvin.exe})
      [ "$listing" = "$expected" ] || fail "$zip holds: $listing"
      # Its README.txt names every option that the program's help names, as
      # a switch.
      configure_preset release
      cmake --build --preset release --target tarvin >/dev/null
      readme=$(unzip -p "$zip" "$top/README.txt")
      for word in $(build/release/tarvin --help | grep -o -- '--[a-z0-9][a-z0-9]*' | sort -u); do
        grep -qF -- "/${word#--}" <<<"$readme" || fail "$zip: README.txt lacks /${word#--}"
      done
      echo "$zip: $(tr '\n' ' ' <<<"$listing")the same when built twice, README.txt names every option"
      ;;
    *) fail "unknown package kind $kind (deb or zip)" ;;
  esac
done
