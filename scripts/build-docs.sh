#!/usr/bin/env bash
# Builds the HTML reference with the docs preset (Doxygen, every warning an
# error) and checks that each export of the header has its entry in it.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset docs >/dev/null
cmake --build --preset docs

html=build/docs/docs/html/qxplaysdk_8h.html
[ -f "${html}" ] || { echo "FAIL: ${html} missing" >&2; exit 1; }
exports=$(grep -o 'OVRA_CALL Ovra_[A-Za-z_]*' include/qxplaysdk.h | sed 's/OVRA_CALL //' | sort -u)
count=0
missing=0
for name in ${exports}; do
  count=$((count + 1))
  # Each documented function has an anchor with its detailed description.
  if ! grep -q "<h2 class=\"memtitle\"><span class=\"permalink\"><a href=\"#[a-z0-9]*\">&#9670;&nbsp;</a></span>${name}()</h2>" "${html}"; then
    echo "FAIL: ${name} has no entry in the reference" >&2
    missing=$((missing + 1))
  fi
done
[ "${count}" = 45 ] || { echo "FAIL: the header declares ${count} exports, not 45" >&2; exit 1; }
echo "reference: $((count - missing)) passed, ${missing} failed"
[ "${missing}" = 0 ]
