#!/usr/bin/env bash
# Builds and runs every test; CI runs this.
#
#   scripts/test.sh           everything: the release build, then side by side,
#                             each with its log in build/logs: the Windows
#                             stage and the .zip (scripts/test-windows.sh,
#                             scripts/package.sh zip); the release tests (unit,
#                             platform, end-to-end, manual page, completion,
#                             installation) and the .deb with the static
#                             .tar.gz (scripts/package.sh deb); the sanitizer
#                             build and its tests; ThreadSanitizer over the
#                             unit tests of the writer, the queue and the
#                             index; the fuzz targets, 10 s each
#   scripts/test.sh --quick   the release build of the program and the three
#                             test programs, and their tests: for the edit-test
#                             loop
#
# Each build directory is built by one stage only; the stages after the
# release build use it without building it again.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
started=$SECONDS
jobs=$(nproc)

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac

# The closing note: the time taken, on what.
note() {  # WHAT
  local cpu
  cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
  echo "== $1 in $((SECONDS - started)) s on $jobs cores of ${cpu:-an unknown processor} (load average now: $(cut -d' ' -f1-3 /proc/loadavg))"
}

if [ "$quick" -eq 1 ]; then
  bash scripts/deps.sh
  echo "== release build"
  configure_preset release
  cmake --build --preset release --target tarvin unit_tests platform_tests e2e_tests
  echo "== unit, platform and end-to-end tests"
  # One more than the cores: the end-to-end parts spend part of their time
  # waiting on the program they run.
  ctest --preset release -j"$((jobs + 1))"
  note "quick tests passed"
  exit 0
fi

# Every package the stages need, installed before they start side by side.
bash scripts/deps.sh docs package fuzz windows

echo "== release build"
configure_preset release
cmake --build --preset release

logs=build/logs
mkdir -p "$logs"
# The end-to-end suite runs the sanitized program from the release build's
# driver, as the Windows stage runs tarvin.exe: the driver is not what is
# checked, and uninstrumented it takes half the time.
sanitizers() {
  configure_preset asan
  cmake --build --preset asan --target tarvin unit_tests platform_tests
  ctest --preset asan -j"$jobs" -E '^e2e[.]'
  echo "== end-to-end suite: build/asan/tarvin"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  e2e_in_shards 3 "$logs/sanitizers-e2e.log" build/release/tests/e2e_tests --tarvin=build/asan/tarvin --sanitized
}
# The unit test program alone, run over the tests that tests/CMakeLists.txt
# names for ThreadSanitizer.
thread_sanitizer() {
  configure_preset tsan
  cmake --build --preset tsan
  ctest --preset tsan
}
release_tests_and_deb() {
  ctest --preset release -j"$jobs"
  bash scripts/package.sh deb
}
windows_and_zip() {
  bash scripts/test-windows.sh
  bash scripts/package.sh zip
}
names=()
pids=()
# Sets VARIABLE to the processor time this shell's finished children took, in
# seconds. The builtin must run in this shell, not in a $(...) or a pipe,
# where it would count a subshell's children.
cpu_seconds() {  # VARIABLE
  local file
  file=$(mktemp)
  times >"$file"
  printf -v "$1" '%s' "$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$file")"
  rm -f "$file"
}
stage() {  # NAME COMMAND...: runs in the background, output in build/logs/NAME.log
  local name=$1
  shift
  (
    begun=$SECONDS
    # The stage's commands run with -e in a subshell of their own: in the
    # condition of an `if` the shell would ignore a failed step of a
    # function and go on with the next one.
    set +e
    (set -e; "$@") >"$logs/$name.log" 2>&1
    status=$?
    set -e
    cpu_seconds used
    if [ "$status" -eq 0 ]; then
      echo "== $name passed in $((SECONDS - begun)) s, $used CPU-s"
    else
      echo "== $name FAILED after $((SECONDS - begun)) s; the end of $logs/$name.log:"
      tail -n 60 "$logs/$name.log"
      exit 1
    fi
  ) &
  names+=("$name")
  pids+=($!)
}
# The longest first: the Windows stage waits on Wine more than it computes.
echo "== side by side: Windows; the release tests and the .deb; sanitizers; ThreadSanitizer; fuzzing (logs in $logs)"
stage windows windows_and_zip
stage release release_tests_and_deb
stage sanitizers sanitizers
stage tsan thread_sanitizer
stage fuzzing bash scripts/fuzz.sh 10

failed=()
for i in "${!pids[@]}"; do
  wait "${pids[i]}" || failed+=("${names[i]}")
done
if [ ${#failed[@]} -ne 0 ]; then
  note "FAILED: ${failed[*]}"
  exit 1
fi
for name in "${names[@]}"; do
  grep -E '^(100% tests passed|fuzz_[a-z_]+: |build/.*(deb|tar\.gz|zip): |== Windows stage passed|part [0-9])' \
    "$logs/$name.log" | sed "s/^/$name: /"
done
cpu_seconds used
note "all tests passed ($used CPU-s)"
