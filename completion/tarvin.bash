# Bash completion of tarvin: options, directories, list files after "@", a
# file after -o and --output, a directory after --split, the levels after
# --simd (each value after "=" or as the next word). The options are
# read from `tarvin --help` when they are completed (a line per option, the
# help's lines that start with two spaces and a dash), so that they are
# always those of the program being run.
#
# Installed as /usr/share/bash-completion/completions/tarvin; by hand:
#   source completion/tarvin.bash

# Splits the command line up to the cursor into words as the shell would,
# with quotes and backslashes taken off, into _tarvin_words; the last word is
# the one being completed (empty after a space).
_tarvin_split() {
  local line=$1 word='' quote='' started='' c i
  _tarvin_words=()
  for ((i = 0; i < ${#line}; i++)); do
    c=${line:i:1}
    if [[ -n $quote ]]; then
      if [[ $c == "$quote" ]]; then
        quote=''
      elif [[ $quote == '"' && $c == \\ && ${line:i+1:1} == [\"\\\$\`] ]]; then
        word+=${line:i+1:1}
        ((++i))
      else
        word+=$c
      fi
    elif [[ $c == [\"\'] ]]; then
      quote=$c started=1
    elif [[ $c == \\ ]]; then
      word+=${line:i+1:1} started=1
      ((++i))
    elif [[ $c == [[:space:]] ]]; then
      [[ -n $started ]] && _tarvin_words+=("$word")
      word='' started=''
    else
      word+=$c started=1
    fi
  done
  _tarvin_words+=("$word")
}

# The option words of `PROGRAM --help`: "--utf8", "-h" and "--help" from
# "-h, --help", "--simd=" from "--simd=LEVEL".
_tarvin_options() {
  "$1" --help 2>/dev/null </dev/null | LC_ALL=C awk '/^  -/ {
    for (i = 1; i <= NF; i++) {
      word = $i
      if (word !~ /^-/) break
      more = word ~ /,$/
      sub(/,$/, "", word)
      sub(/=.*/, "=", word)
      print word
      if (!more) break
    }
  }'
}

# Adds the candidates for the whole word WORD to COMPREPLY. The shell
# replaces only the part of the word from its last word-break character on:
# after it ("=", ":" ...), or from it for "@" and "$", which it keeps in the
# part it replaces. So each candidate loses what comes before. Spaces and
# quotes left in the word were quoted: they break nothing.
_tarvin_reply() {  # WORD CANDIDATE...
  local word=$1 keep='' candidate i c
  for ((i = ${#word} - 1; i >= 0; i--)); do
    c=${word:i:1}
    if [[ $c == [@\$] ]]; then
      keep=${word:0:i}
      break
    elif [[ $c != [[:space:]\"\'] && $COMP_WORDBREAKS == *"$c"* ]]; then
      keep=${word:0:i+1}
      break
    fi
  done
  shift
  for candidate; do COMPREPLY+=("${candidate#"$keep"}"); done
}

# Paths for the word WORD that starts with PREFIX: files (-f) or directories
# (-d). The shell quotes them and marks directories with "/", except after
# "@", which it would take into the name: there that is done here.
_tarvin_paths() {  # -f|-d PREFIX WORD
  local -a paths
  local path quoted
  mapfile -t paths < <(compgen "$1" -- "${3#"$2"}")
  if [[ $2 != @ ]]; then
    compopt -o filenames 2>/dev/null || :
    _tarvin_reply "$3" "${paths[@]/#/$2}"
    return
  fi
  for path in "${paths[@]}"; do
    printf -v quoted %q "$path"
    [[ -d $path ]] && quoted+=/
    COMPREPLY+=("@$quoted")
  done
  [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]] && compopt -o nospace 2>/dev/null || :
}

_tarvin() {
  local cur prev i options=1
  local -a _tarvin_words found
  COMPREPLY=()
  _tarvin_split "${COMP_LINE:0:COMP_POINT}"
  local n=${#_tarvin_words[@]}
  cur=${_tarvin_words[n - 1]}
  prev=''
  ((n > 2)) && prev=${_tarvin_words[n - 2]}
  # "--" ends the options: every later word is a directory.
  for ((i = 1; i < n - 1; i++)); do
    [[ ${_tarvin_words[i]} == -- ]] && options=0
  done

  if ((options)) && [[ $prev == @(-o|--output) ]]; then
    _tarvin_paths -f '' "$cur"
  elif ((options)) && [[ $prev == --split ]]; then
    _tarvin_paths -d '' "$cur"
  elif ((options)) && [[ $prev == --simd || $cur == --simd=* ]]; then
    # The decoding levels, as src/reportDecode.cpp names them.
    mapfile -t found < <(compgen -W 'scalar avx2 avx512' -- "${cur#--simd=}")
    _tarvin_reply "$cur" "${found[@]/#/${cur%"${cur#--simd=}"}}"
  elif ((options)) && [[ $cur == --output=* ]]; then
    _tarvin_paths -f --output= "$cur"
  elif ((options)) && [[ $cur == --split=* ]]; then
    _tarvin_paths -d --split= "$cur"
  elif ((options)) && [[ $cur == -* ]]; then
    mapfile -t found < <(compgen -W "$(_tarvin_options "${_tarvin_words[0]}")" -- "$cur")
    _tarvin_reply "$cur" "${found[@]}"
    # An option that takes a value goes on right after its "=".
    [[ ${#found[@]} -eq 1 && ${found[0]} == *= ]] && compopt -o nospace 2>/dev/null || :
  elif [[ $cur == @* ]]; then
    _tarvin_paths -f @ "$cur"
  else
    _tarvin_paths -d '' "$cur"
  fi
  return 0
}

complete -F _tarvin tarvin
