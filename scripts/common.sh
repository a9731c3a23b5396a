# Sourced by the scripts: the shared steps.

# Configures the build directory of a configure preset (CMakePresets.json)
# when it needs it: when it is new, or older than the presets. (A change of
# the CMake files the build itself notices.) So stages that run side by side
# never configure a directory that another one is using. A directory set up
# by another generator (the presets once used Unix Makefiles) is configured
# afresh instead of failing.
configure_preset() {  # PRESET
  local dir="build/$1" fresh=()
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
    fresh=(--fresh)
  elif [ -f "$dir/build.ninja" ] && [ "$dir/CMakeCache.txt" -nt CMakePresets.json ]; then
    return 0
  fi
  cmake --preset "$1" "${fresh[@]}" >/dev/null
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
