#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a number of
# seconds (default 30), as many at a time as there are cores, starting from a
# scratch copy of its seed corpus in fuzz/corpus, which stays as committed.
# Fails on any crash, leak or timeout; the input that caused it is kept in
# build/fuzz/artifacts.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]    targets: decoder index list_file paths cmdline
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh fuzz
seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(decoder index list_file paths cmdline)

build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIN_FUZZ=ON -DTARVIN_TESTS=OFF -DTARVIN_WERROR=ON -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

scratch="$(mktemp -d /tmp/tarvin-fuzz-run-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"

# Fuzzes one target; prints its summary line, and the end of its log when it
# failed.
fuzz_target() {  # TARGET
  local target=$1 log="$build/fuzz_$1.log" status progress rate
  cp -r "fuzz/corpus/$target" "$scratch/$target"
  mkdir -p "$scratch/tmp-$target"
  # The code under test writes to standard output and error on many runs
  # (missing data files, long texts): both are closed (-close_fd_mask). The
  # files a target writes go below the scratch directory, also when it stops
  # on a fault.
  if TMPDIR="$scratch/tmp-$target" "$build/fuzz/fuzz_$target" "$scratch/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -close_fd_mask=3 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    tail -n 40 "$log"
  fi
  # The last progress line (coverage, features, corpus) and the run counts.
  progress="$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -E 's/^(#[0-9]+)[[:space:]]+[A-Z]+[[:space:]]+/\1 /')"
  rate="$(grep -oE 'average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
  echo "fuzz_$target: $status, $progress, ${rate:-?} exec/s, corpus files $(ls "$scratch/$target" | wc -l)"
  [ "$status" = ok ]
}

# A target is one process on one core: as many run at a time as there are
# cores (TARVIN_FUZZ_JOBS sets another number).
parallel=${TARVIN_FUZZ_JOBS:-$(nproc)}
declare -A running=()
failed=()
collect() {  # waits for one target to end
  local pid target status
  wait -n -p pid "${!running[@]}" && status=0 || status=$?
  target=${running[$pid]}
  unset "running[$pid]"
  [ "$status" -eq 0 ] || failed+=("$target")
}
for target in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$parallel" ]; do collect; done
  fuzz_target "$target" &
  running[$!]=$target
done
while [ ${#running[@]} -gt 0 ]; do collect; done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]} (logs in $build, inputs in $build/artifacts)" >&2
  exit 1
fi
