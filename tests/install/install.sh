#!/bin/sh
# `cmake --install` into a scratch prefix: the program lands in bin/ and runs
# there as the built one does, the manual page lands in share/man/man1,
# where man finds it by name and renders it cleanly, and the bash completion
# where bash-completion looks for it.
#
#   install.sh CMAKE BUILD_DIR BUILT_TARVIN SOURCE_DIR VERSION
set -eu
cmake=$1
build=$2
built=$3
source=$4
version=$5
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarvin-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || { cat "$prefix/install.log" >&2; exit 1; }
[ -x "$prefix/bin/tarvin" ] || { echo "no bin/tarvin" >&2; exit 1; }
page="$prefix/share/man/man1/tarvin.1"
cmp "$source/doc/tarvin.1" "$page"
cmp "$source/completion/tarvin.bash" "$prefix/share/bash-completion/completions/tarvin"

# The installed program converts the sample archive (exit code 1: a data file is missing on purpose) byte
# for byte as the built one, and prints the usage text.
samples="$source/samples/archive"
"$prefix/bin/tarvin" "$samples/2004" "$samples/2005" >"$prefix/installed.txt" 2>"$prefix/installed.err" || [ $? -eq 1 ]
"$built" "$samples/2004" "$samples/2005" >"$prefix/built.txt" 2>"$prefix/built.err" || [ $? -eq 1 ]
cmp "$prefix/built.txt" "$prefix/installed.txt"
cmp "$prefix/built.err" "$prefix/installed.err"
grep -q '^+++6$' "$prefix/installed.txt" || { echo "the sample archive gave no seventh report" >&2; exit 1; }
"$prefix/bin/tarvin" --help | grep -q 'Molvar' || { echo "no usage text" >&2; exit 1; }

# man finds the page through the prefix's manual tree.
if command -v man >/dev/null 2>&1; then
  found=$(MANPATH="$prefix/share/man" man -w tarvin)
  [ "$found" = "$page" ] || { echo "man -w tarvin gives '$found', not $page" >&2; exit 1; }
fi
status=0
sh "$(dirname "$0")/man_page.sh" "$page" "$version" || status=$?
[ "$status" -eq 77 ] && status=0  # no groff: the installation itself is checked
exit $status
