# Sourced by the scripts: the shared steps.

# Configures the build directory of a configure preset (CMakePresets.json).
# A directory set up by another generator (the presets once used Unix
# Makefiles) is configured afresh instead of failing.
configure_preset() {  # PRESET [CMAKE ARGUMENTS...]
  local cache="build/$1/CMakeCache.txt" fresh=()
  if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then fresh=(--fresh); fi
  cmake --preset "$1" "${fresh[@]}" "${@:2}" >/dev/null
}

# Runs the end-to-end suite in SHARDS parts side by side, each with its log
# LOG.N; prints each part's summary, and the whole log of a part that fails.
e2e_in_shards() {  # SHARDS LOG E2E_TESTS ARGUMENTS...
  local shards=$1 log=$2 shard failed=0
  local -a pids=()
  shift 2
  for ((shard = 0; shard < shards; shard++)); do
    GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$shard "$@" >"$log.$shard" 2>&1 &
    pids+=($!)
  done
  for ((shard = 0; shard < shards; shard++)); do
    if wait "${pids[shard]}"; then
      echo "part $((shard + 1)) of $shards: $(grep -E '^\[  PASSED  \]' "$log.$shard")"
    else
      cat "$log.$shard"
      echo "end-to-end suite: part $((shard + 1)) of $shards failed ($log.$shard)" >&2
      failed=1
    fi
  done
  return $failed
}
