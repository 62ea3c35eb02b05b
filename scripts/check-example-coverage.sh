#!/usr/bin/env bash
# Every export of the header is called by at least one example program
# (comments do not count).
set -euo pipefail
cd "$(dirname "$0")/.."

code=$(mktemp)
trap 'rm -f "${code}"' EXIT
# The examples' code without comments.
while IFS= read -r -d '' file; do
  gcc -fpreprocessed -dD -E -P -x c "${file}" 2>/dev/null >>"${code}"
done < <(find examples -name '*.c' -print0)

exports=$(grep -o 'OVRA_CALL Ovra_[A-Za-z_]*' include/qxplaysdk.h | sed 's/OVRA_CALL //' | sort -u)
covered=0
missing=0
for name in ${exports}; do
  if grep -Eq "\\b${name}[[:space:]]*\\(" "${code}"; then
    covered=$((covered + 1))
  else
    echo "FAIL: no example calls ${name}" >&2
    missing=$((missing + 1))
  fi
done
total=$(wc -w <<<"${exports}")
[ "${total}" = 45 ] || { echo "FAIL: the header declares ${total} exports, not 45" >&2; exit 1; }
echo "${covered} of 45 exports used by the examples"
echo "example coverage: ${covered} passed, ${missing} failed"
[ "${missing}" = 0 ]
