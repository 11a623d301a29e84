#!/usr/bin/env bash
# Every C++ source and header git tracks is as clang-format lays it out
# (.clang-format at the top). Skipped (77) where git or clang-format is
# missing or the tree is not a git checkout.
#   format_test.sh SOURCE_DIR            check the tree
#   format_test.sh --proof SOURCE_DIR    also show that a planted file laid
#                                        out otherwise fails the check
set -euo pipefail
proof=false
if [ "${1:-}" = --proof ]; then
  proof=true
  shift
fi
source_dir=$(cd "$1" && pwd)
command -v git > /dev/null && command -v clang-format > /dev/null || {
  echo "git or clang-format missing: skipped"; exit 77; }
git -C "$source_dir" rev-parse --git-dir > /dev/null 2>&1 || {
  echo "$source_dir is not a git checkout: skipped"; exit 77; }

check() {  # tree
  local files=() file out
  while IFS= read -r -d '' file; do
    [ -f "$1/$file" ] && files+=("$file")  # tracked but deleted: nothing to read
  done < <(git -C "$1" ls-files -z -- '*.cpp' '*.cc' '*.cxx' '*.h' '*.hpp' '*.hh')
  [ ${#files[@]} -gt 0 ] || { echo "no sources tracked in $1"; return 1; }
  if out=$(cd "$1" && printf '%s\0' "${files[@]}" |
           xargs -0 clang-format --style=file --dry-run -Werror 2>&1); then
    echo "${#files[@]} files laid out as clang-format does"
    return 0
  fi
  grep -oE '^[^:]+:[0-9]+:[0-9]+: (error|warning)' <<<"$out" | cut -d: -f1 |
    sort -u | sed 's/^/not formatted: /'
  echo "(clang-format -i on each file above lays it out)"
  return 1
}

check "$source_dir"

if $proof; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/takt-m-format.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  git -C "$work" init -q
  cp "$source_dir/.clang-format" "$work/"
  printf 'int Good() { return 1; }\n' > "$work/good.cpp"
  printf 'int  Bad( ) {return 1;}\n' > "$work/bad.h"
  git -C "$work" add good.cpp bad.h
  if check "$work" > "$work/out"; then
    echo "a planted file laid out otherwise passed"; exit 1
  fi
  grep -qx 'not formatted: bad.h' "$work/out" ||
    { echo "the planted file was not named:"; cat "$work/out"; exit 1; }
  grep -q 'good.cpp' "$work/out" &&
    { echo "a laid-out file was named:"; cat "$work/out"; exit 1; }
  echo "the check names the planted file"
fi
