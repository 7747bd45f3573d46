#!/bin/bash
# Every relative link in README.md and docs/*.md leads somewhere: the file or
# folder exists, and a #anchor names a heading of the target document (as
# the hosting sites make anchors: lower case, punctuation dropped, spaces as
# dashes, percent-encoding decoded). Addresses with a scheme and mail links
# are not checked.
#
#   links_test.sh SOURCE_DIR
set -u
export LC_ALL=C.UTF-8
cd "$1" || exit 1
failures=0

fail() {
  echo "$1: link \"$2\": $3"
  failures=$((failures + 1))
}

# The anchors of a Markdown file, one a line.
anchors() {
  sed -n 's/^#\{1,6\} \+//p' "$1" | sed 's/.*/\L&/; s/[^[:alnum:] _-]//g; s/ /-/g'
}

percent_decoded() {
  local text=${1//+/ }
  printf '%b' "${text//%/\\x}"
}

check_link() {
  local document=$1 link=$2 target anchor
  case $link in
    *://* | mailto:*) return ;;
  esac
  target=${link%%#*}
  anchor=
  [[ $link == *'#'* ]] && anchor=$(percent_decoded "${link#*#}")
  if [[ -z $target ]]; then
    target=$document
  else
    target=$(dirname "$document")/$(percent_decoded "$target")
  fi
  if [[ ! -e $target ]]; then
    fail "$document" "$link" "$target does not exist"
  elif [[ -n $anchor ]] && ! anchors "$target" | grep -qxF -- "$anchor"; then
    fail "$document" "$link" "no heading of $target makes the anchor #$anchor"
  fi
}

# Links outside code: fenced blocks and code spans are dropped first.
links_of() {
  awk '/^ *```/ { fenced = !fenced; next } !fenced' "$1" | sed 's/`[^`]*`//g' |
    grep -o '\]([^) ]*)' | sed 's/^](//; s/)$//'
}

documents=(README.md docs/*.md)
checked=0
for document in "${documents[@]}"; do
  while IFS= read -r link; do
    check_link "$document" "$link"
    checked=$((checked + 1))
  done < <(links_of "$document")
done

[[ $checked -gt 0 ]] || { echo "no links found in ${documents[*]}"; exit 1; }
[[ $failures -eq 0 ]] || exit 1
echo "$checked links in ${#documents[@]} documents resolve"
