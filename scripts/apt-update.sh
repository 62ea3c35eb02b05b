#!/usr/bin/env bash
# Refreshes the package lists (needs root), riding out a mirror out of step
# with the release files this machine keeps: a list "of unexpected size"
# fails `apt-get update`, either while the mirror syncs or because it serves
# an older release than the one stored here (apt keeps the newer release
# file and then refuses the older lists that go with what is served). After
# a failure the stored release files are dropped, so the next try takes the
# release and its lists from the mirror as they are, after a pause. After
# the last try it goes on with the lists it has, so that the install that
# follows decides (it fails if a package it needs is missing).
set -uo pipefail

lists=/var/lib/apt/lists
attempts=${QX_APT_ATTEMPTS:-5}
for attempt in $(seq 1 "${attempts}"); do
  if apt-get -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3 update; then
    exit 0
  fi
  if [ "${attempt}" -lt "${attempts}" ]; then
    pause=$((attempt * 15))
    echo "apt-update: the package lists could not all be fetched; dropping the stored" \
      "release files and trying again in ${pause} s" >&2
    rm -f "${lists}"/*_InRelease "${lists}"/*_Release "${lists}"/*_Release.gpg
    sleep "${pause}"
  fi
done
echo "apt-update: going on with the package lists fetched so far" >&2
exit 0
