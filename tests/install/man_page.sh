#!/bin/sh
# The manual page renders without a single warning from groff or man, with
# every section, its Russian texts as the characters they are, and the
# program's version in its title line.
#
#   man_page.sh PAGE [VERSION]
# Exits 77 (skipped) when groff is missing; scripts/deps.sh docs installs it.
set -eu
page=$1
version=${2:-}
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is missing: the manual page is not checked"
  exit 77
fi
export LC_ALL=C.UTF-8 MANWIDTH=80
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvin-man-XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "$page: $*" >&2; status=1; }

# -k: the page is UTF-8 (its coding line tells preconv); -ww: all warnings.
groff -k -man -ww -Tutf8 "$page" >"$work/groff.txt" 2>"$work/groff.err" || fail "groff failed"
[ -s "$work/groff.err" ] && { cat "$work/groff.err" >&2; fail "groff warns"; }
rendered="$work/groff.txt"

# man as a reader runs it: its own preprocessing and line length.
if command -v man >/dev/null 2>&1; then
  man --warnings=w -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man failed"
  [ -s "$work/man.err" ] && { cat "$work/man.err" >&2; fail "man warns"; }
  rendered="$work/man.txt"
else
  echo "man is missing: only groff checked the page"
fi

# groff -Tutf8 shows bold by overstriking; compare the plain characters.
# The texts are looked for with lines joined and spaces squeezed, as
# filling breaks and stretches them anywhere.
sed 's/.\x08//g' "$rendered" >"$work/plain.txt"
tr -s ' \n' '  ' <"$work/plain.txt" >"$work/joined.txt"
for section in NAME SYNOPSIS DESCRIPTION ARGUMENTS OPTIONS "LIST FILES" OUTPUT DIAGNOSTICS "EXIT STATUS" \
    EXAMPLES "SEE ALSO"; do
  grep -qx "$section" "$work/plain.txt" || fail "no section $section"
done
for text in "<>Размер строки<> N" "Нет указанного в индексе файла рапортов" "Ошибка! N" \
    "iconv -f CP866 -t UTF-8" "+++N" "tarvin /?" "-h, --help" "--jsonl" "--strict"; do
  grep -qF -- "$text" "$work/joined.txt" || fail "does not show: $text"
done
if [ -n "$version" ]; then
  grep -q "^\.TH TARVIN 1 [0-9-]* \"tarvin $version\"" "$page" || fail "title line does not name version $version"
fi
exit $status
