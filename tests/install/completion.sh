#!/usr/bin/env bash
# The bash completion offers the program's options as its help lists them,
# directories for the arguments, files after "@", and directories after
# --split=, each as the shell replaces the word being completed.
#
#   completion.sh COMPLETION_FILE TARVIN
set -eu
completion=$(realpath "$1")
tarvin=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvin-completion-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/alpha" "$work/al sp" "$work/beta"
touch "$work/alfa.txt"
cd "$work"

# shellcheck source=/dev/null
source "$completion"
status=0
# The candidates for the command line LINE (cursor at its end), sorted, one a line.
expect() {  # LINE EXPECTED...
  local got want
  COMP_LINE=$1 COMP_POINT=${#1} COMPREPLY=()
  _tarvin
  got=$(printf '%s\n' ${COMPREPLY[@]+"${COMPREPLY[@]}"} | LC_ALL=C sort)
  want=$(printf '%s\n' "${@:2}")
  [ "$got" = "$want" ] || { printf 'completing "%s" gives\n%s\nnot\n%s\n' "$1" "$got" "$want" >&2; status=1; }
}
expect "$tarvin --he" --help
expect "$tarvin --si" --simd=
expect "$tarvin --utf8 al" "al sp" alpha
expect "$tarvin @al" "@al\\ sp/" @alfa.txt @alpha/
expect "$tarvin --split=al" "al sp" alpha
expect "$tarvin --simd=a" avx2 avx512
expect "$tarvin --simd " avx2 avx512 scalar
expect "$tarvin -q --output al" "al sp" alfa.txt alpha
expect "$tarvin -V" -V
exit $status
