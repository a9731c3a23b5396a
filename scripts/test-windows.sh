#!/usr/bin/env bash
# The Windows stage: cross builds tarvin.exe for x86_64 and i686 with
# mingw-w64, checks that both need no DLL beyond the system's, and runs the
# x86_64 build under Wine with a Russian locale (OEM code page 866): the
# end-to-end suite, and the cross-check of our POSIX layer against the
# Windows API. The i686 build of the program is only built: 32-bit programs
# may not run here.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
started=$SECONDS
bash scripts/deps.sh windows
jobs="$(nproc)"

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
  echo "== generating the ru_RU.UTF-8 locale"
  "${sudo[@]}" sed -i 's/^# *ru_RU.UTF-8/ru_RU.UTF-8/' /etc/locale.gen
  "${sudo[@]}" locale-gen >/dev/null
fi

# Wine with a prefix of its own under build/, so that runs do not depend on
# ~/.wine; no Mono or Gecko (console programs need neither), no noise on stderr.
# A new prefix is prepared while the programs build.
wine=${WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEPREFIX="$PWD/build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
prefix_ready=0
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== preparing the Wine prefix $WINEPREFIX (while building)"
  mkdir -p build
  { "$wine" wineboot -i; "$wineserver" -w; } >/dev/null 2>&1 &
  prefix_ready=$!
fi

echo "== Windows builds"
for preset in windows-x64 windows-x86; do
  configure_preset "$preset"
  # The i686 build only has to build: its program, not the x86_64 build's
  # cross-check programs, which only run under Wine.
  exes=(build/$preset/tarvin.exe)
  if [ "$preset" = windows-x64 ]; then
    cmake --build --preset "$preset" -j"$jobs"
    exes+=(build/$preset/tests/crosscheck/crosscheck.exe build/$preset/tests/crosscheck/order_weights.exe
           build/$preset/tests/crosscheck/system_texts.exe)
  else
    cmake --build --preset "$preset" -j"$jobs" --target tarvin
  fi
  # Runs on a bare Windows: the C++ runtime is linked in, only system DLLs are imported.
  for exe in "${exes[@]}"; do
    # (objdump words its listing in the locale's language: in English here)
    dlls=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
    if [ -z "$dlls" ]; then
      echo "$exe: no import read from its listing" >&2
      exit 1
    fi
    foreign=$(grep -viE '^(kernel32|msvcrt|shlwapi)\.dll$' <<<"$dlls" || true)
    if [ -n "$foreign" ]; then
      echo "$exe imports DLLs that a bare Windows lacks: $foreign" >&2
      exit 1
    fi
    echo "$exe imports: $(tr '\n' ' ' <<<"$dlls")"
  done
done

echo "== native suite and cross-check programs"
configure_preset release
cmake --build --preset release -j"$jobs" --target e2e_tests crosscheck system_texts

[ "$prefix_ready" -eq 0 ] || wait "$prefix_ready" || true
# One server for every run of the stage, ended with it (once the one that
# prepared the prefix, if any, has gone).
"$wineserver" -p 2>/dev/null || { "$wineserver" -w; "$wineserver" -p; }
trap '"$wineserver" -k 2>/dev/null || true' EXIT
# A first program in a new prefix may come while Wine is still starting its
# own services: the suite starts once tarvin.exe answers.
for attempt in 1 2 3 4 5; do
  "$wine" build/windows-x64/tarvin.exe --version 2>/dev/null | grep -q '^tarvin ' && break
  [ "$attempt" -lt 5 ] || { echo "tarvin.exe does not start under Wine" >&2; exit 1; }
  sleep 2
done

# In shards side by side: most of the suite's time under Wine is the start of
# each Windows process, not work.
echo "== end-to-end suite: tarvin.exe under Wine"
e2e_in_shards 3 build/wine-e2e.log \
  build/release/tests/e2e_tests --tarvin=build/windows-x64/tarvin.exe --runner="$wine" --windows

# Compares what was measured under Wine with the file that stores it; with
# VARIABLE=1 the measurement is written into the file instead.
check_measured() {  # STORED MEASURED VARIABLE NOTE
  local stored=$1 measured=$2 variable=$3 note=$4
  if [ "${!variable:-0}" = 1 ]; then
    cp "$measured" "$stored"
    echo "written: $stored ($note)"
  elif ! diff -u "$stored" "$measured"; then
    echo "$stored differs from what is measured now ($variable=1 writes it)" >&2
    exit 1
  fi
}

echo "== the weights of the string order, measured under Wine, against platform/posix/order_weights.inc"
"$wine" build/windows-x64/tests/crosscheck/order_weights.exe | tr -d '\r' >build/order_weights.inc
check_measured platform/posix/order_weights.inc build/order_weights.inc TARVIN_WRITE_WEIGHTS "rebuild to use it"

# Wine's own Russian texts (the e2e suite expects them under Wine) for every
# code our POSIX layer gives, as the layer lists them.
echo "== the system texts of the POSIX layer's error codes, measured under Wine, against tests/crosscheck/system_texts.wine"
codes=$(build/release/tests/crosscheck/system_texts --all | sed -n 's/^\([0-9]\+\) .*/\1/p')
# shellcheck disable=SC2086  # one argument per code
"$wine" build/windows-x64/tests/crosscheck/system_texts.exe $codes | tr -d '\r' >build/system_texts.wine
check_measured tests/crosscheck/system_texts.wine build/system_texts.wine TARVIN_WRITE_TEXTS \
  "tests/e2e/target.cpp holds the texts the e2e suite expects under Wine"

# 20000 random pairs of texts for StrCmpW; TARVIN_CROSSCHECK_PAIRS=1000000 for a long run.
echo "== cross-check: our POSIX layer against the Windows API (Wine)"
bash tests/crosscheck/compare.sh --random="${TARVIN_CROSSCHECK_PAIRS:-20000}" \
  build/release/tests/crosscheck/crosscheck build/windows-x64/tests/crosscheck/crosscheck.exe "$wine"

echo "== Windows stage passed in $((SECONDS - started)) s"
