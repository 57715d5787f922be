#!/usr/bin/env bash
# Runs two builds of the tool on every BMP under tests/data and samples; fails unless each report
# and exit status agree (with --crlf, the second must end in CR LF each line the first ends in LF).
# usage: tests/compare_reports.sh [--crlf] REFERENCE_BINARY COMMAND [ARGS...]
set -uo pipefail
crlf=0
if [ "${1:-}" = "--crlf" ]; then crlf=1; shift; fi
reference=$1
shift
cd "$(dirname "$0")/.."
# A missing program would only show as reports that differ: each command's first word must run,
# and each later word naming a path (a slash, no '=', no leading '-') must exist.
for word in "$reference" "$@"; do
  if [ "$word" = "$reference" ] || [ "$word" = "$1" ]; then
    if ! command -v "$word" > /dev/null; then
      echo "compare_reports: cannot run $word: not found"; exit 2
    fi
  elif [[ "$word" == */* && "$word" != *=* && "$word" != -* && ! -e "$word" ]]; then
    echo "compare_reports: cannot run $*: $word not found"; exit 2
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
files=0 failed=0
while IFS= read -r -d '' bmp; do
  files=$((files + 1))
  "$reference" "$bmp" > "$scratch/expected"
  expected_status=$?
  [ $crlf -eq 0 ] || perl -pi -e 's/\n/\r\n/g' "$scratch/expected"
  "$@" "$bmp" > "$scratch/actual" 2> /dev/null
  status=$?
  if [ $status -ne $expected_status ] || ! cmp -s "$scratch/expected" "$scratch/actual"; then
    echo "differs: $bmp (status $status, expected $expected_status)"
    cmp "$scratch/expected" "$scratch/actual" | head -1
    failed=$((failed + 1))
  fi
done < <(find tests/data samples -name '*.bmp' -print0 | sort -z)
echo "compare_reports: $((files - failed)) of $files reports agree"
[ $files -gt 0 ] && [ $failed -eq 0 ]
