#!/usr/bin/env bash
# Checks that every C and C++ file in the repository is formatted as
# .clang-format says; lists the files that are not and exits nonzero.
#   scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
echo "clang-format: checking ${#files[@]} files"
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "clang-format: the files above need 'clang-format -i'" >&2
  exit 1
fi
echo "clang-format: clean"
