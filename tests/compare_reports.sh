#!/usr/bin/env bash
# Runs two builds of the tool on every BMP under tests/data and fails unless each report and
# exit status agree. With --crlf the second build must end every line in CR LF where the first
# ends it in LF.
# usage: tests/compare_reports.sh [--crlf] REFERENCE_BINARY COMMAND [ARGS...]
set -uo pipefail
crlf=0
if [ "${1:-}" = "--crlf" ]; then crlf=1; shift; fi
reference=$1
shift
cd "$(dirname "$0")/.."
# A program that is not there would only show as reports that differ: name it and stop. The
# first word of each command must run; any later word that names a path (holds a slash, no
# '=', no leading '-') must exist.
for word in "$reference" "$@"; do
  if [ "$word" = "$reference" ] || [ "$word" = "$1" ]; then
    if ! command -v "$word" > /dev/null; then
      echo "compare_reports: cannot run $word: not found"
      exit 2
    fi
  elif [[ "$word" == */* && "$word" != *=* && "$word" != -* && ! -e "$word" ]]; then
    echo "compare_reports: cannot run $*: $word not found"
    exit 2
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
files=0
failed=0
while IFS= read -r -d '' bmp; do
  files=$((files + 1))
  "$reference" "$bmp" > "$scratch/expected"
  expected_status=$?
  if [ $crlf -eq 1 ]; then perl -pi -e 's/\n/\r\n/g' "$scratch/expected"; fi
  "$@" "$bmp" > "$scratch/actual" 2> "$scratch/stderr"
  status=$?
  if [ $status -ne $expected_status ] || ! cmp -s "$scratch/expected" "$scratch/actual"; then
    echo "differs: $bmp (status $status, expected $expected_status)"
    cmp "$scratch/expected" "$scratch/actual" | head -1
    failed=$((failed + 1))
  fi
done < <(find tests/data samples -name '*.bmp' -print0 | sort -z)
echo "compare_reports: $((files - failed)) of $files reports agree"
[ $files -gt 0 ] && [ $failed -eq 0 ]
