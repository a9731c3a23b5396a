#!/usr/bin/env bash
# Runs the cross-check program built on our POSIX layer and the one built on
# the Windows API, and compares their answers. Every difference is listed;
# the run fails on any difference that is not accepted below.
#
#   compare.sh [--random=N] NATIVE WINDOWS-EXE [RUNNER]     e.g. RUNNER=/usr/lib/wine/wine64
#
# --random=N adds StrCmpW of N random pairs of short texts over the units our
# order has measured weights for (code pages 866 and 1251, U+0001-U+017F,
# Cyrillic); they must all agree. The script prints the share that agrees and
# the first pairs that differ.
set -euo pipefail
random=()
case "${1:-}" in --random=*) random=("$1"); shift ;; esac
native=$1 windows=$2 runner=${3:-}

# Accepted differences: a pattern (extended regular expression) over the
# difference line "KEY: native VALUE, windows VALUE", and the reason.
accepted=(
  '^narrow U\+[0-9A-F]{4}: native 3F 1, windows [0-9A-F]{2} 1$'
  "WideCharToMultiByte on Windows (and Wine, from the same tables) replaces a character outside code page 866 by a similar one where there is one (best fit: é -> e, « -> <); our layer writes '?'. Only paths with such characters in messages are affected."

  '^find "\*\.idx" "x\.idxx": native no, windows yes$'
  "FindFirstFile on Windows matches a pattern against the 8.3 short name as well (x.idxx is X~1.IDX) where the volume keeps short names; Wine gives every long name a short one. Volumes without short names behave as our layer."

  '^find "\*\." "[^".]*": native no, windows yes$'
  "Windows matches a name without an extension with '*.' (the DOS rule for a trailing dot); our layer matches '*' and '.' literally. The program searches only '*.idx' and '*.*' and never meets this."

  '^find "\*\." "[^"]*\.[^"]*": native no, windows yes$'
  "Wine drops the trailing dot of the pattern, as of any path, and so matches every name; Windows does not match names with an extension."

  '^outside '
  "Units without measured weights (outside code pages 866 and 1251, U+0001-U+017F and Cyrillic U+0400-U+045F) weigh in our order as letters after every measured unit, by their code, with no diacritic or case weight; Windows places them by their script (Greek between Latin and Cyrillic, combining accents as diacritics of the unit before). Keys are code page 866 and never hold them; only such directory and file names can sort differently."
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$native" "${random[@]}" "$work/native" >"$work/native.all"
windowsDir="Z:$(printf '%s' "$work/windows" | tr / '\\')"
$runner "$windows" "${random[@]}" "$windowsDir" | tr -d '\r' >"$work/windows.all"
# The random pairs, line for line the same pairs on both sides, apart.
for side in native windows; do
  grep -v '^random [0-9]' "$work/$side.all" >"$work/$side.txt" || true
  grep '^random [0-9]' "$work/$side.all" >"$work/$side.random" || true
done

# One line per fact that differs, or that only one side has.
differences=$(awk -F' = ' '
  / = / { if (FILENAME == ARGV[1]) native[$1] = $2; else { windows[$1] = $2; order[++n] = $1 } }
  END {
    for (i = 1; i <= n; ++i) {
      k = order[i]
      if (!(k in native)) print k ": only windows, " windows[k]
      else if (native[k] != windows[k]) print k ": native " native[k] ", windows " windows[k]
    }
    for (k in native) if (!(k in windows)) print k ": only native, " native[k]
  }' "$work/native.txt" "$work/windows.txt")

failed=0
explained=0
used=()
while IFS= read -r difference; do
  [ -n "$difference" ] || continue
  tag=""
  for ((i = 0; i < ${#accepted[@]}; i += 2)); do
    if grep -qE -- "${accepted[i]}" <<<"$difference"; then tag=$((i / 2 + 1)); break; fi
  done
  if [ -n "$tag" ]; then
    echo "accepted [$tag]: $difference"
    explained=$((explained + 1))
    used[tag]=1
  else
    echo "DIFFERENCE:   $difference"
    failed=1
  fi
done <<<"$differences"
for tag in "${!used[@]}"; do echo "  [$tag] ${accepted[(tag - 1) * 2 + 1]}"; done

# The sorted lists follow from the pair answers: the sort is the same
# insertion sort on both sides, so they can differ only where pairs do.
if ! diff <(grep -v ' = ' "$work/native.txt") <(grep -v ' = ' "$work/windows.txt") >"$work/order.diff"; then
  if grep -q '^pair ' <<<"$differences"; then
    echo "sorted list differs (follows from the pair differences above):"
  else
    echo "DIFFERENCE: sorted list differs while every pair agrees:"
    failed=1
  fi
  sed 's/^/    /' "$work/order.diff"
fi

if [ ${#random[@]} -ne 0 ]; then
  if ! paste -d '\n' "$work/native.random" "$work/windows.random" | LC_ALL=C awk -F' = ' '
      NR % 2 == 1 { native = $0; next }
      {
        ++pairs
        split(native, n, " = ")
        if (n[1] != $1) { print "DIFFERENCE: the random pairs are not the same: " n[1] " / " $1; bad = -1; exit 1 }
        if (n[2] != $2 && ++bad <= 10) print "DIFFERENCE:   " $1 ": native " n[2] ", windows " $2
      }
      END {
        if (bad < 0) exit 1
        printf "random pairs: %d compared, %d agree (%.4f %%)\n", pairs, pairs - bad, pairs ? 100 * (pairs - bad) / pairs : 100
        if (bad > 10) print "  (the first 10 differences shown)"
        exit bad != 0 || pairs == 0
      }'; then
    failed=1
  fi
fi

facts=$(grep -c ' = ' "$work/native.txt")
if [ "$failed" -ne 0 ]; then
  echo "crosscheck: FAILED: differences that are not accepted (of $facts facts compared)"
  exit 1
fi
echo "crosscheck: $facts facts compared, $explained differ, each accepted"
