# Sourced by the scripts: the shared steps.

# Configures the build directory of a configure preset (CMakePresets.json).
# A directory set up by another generator (the presets once used Unix
# Makefiles) is configured afresh instead of failing.
configure_preset() {  # PRESET [CMAKE ARGUMENTS...]
  local cache="build/$1/CMakeCache.txt" fresh=()
  if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then fresh=(--fresh); fi
  cmake --preset "$1" "${fresh[@]}" "${@:2}" >/dev/null
}
