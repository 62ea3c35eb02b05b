#!/usr/bin/env bash
# Builds and runs the remote tour: the test recorder on a loopback port
# serves a clip made with the ffmpeg program as one recording; the tour logs
# in, downloads a span by time and the recording by name, plays a span and
# the recording in remote slots, and logs out, printing every result code.
# Then it checks what the tour did:
#   - the tour exited 0 (every call answered 0, both downloads ended at 100);
#   - each downloaded file holds exactly the frames the recorder has in its
#     span, and all of them decode (ffprobe);
#   - under Xvfb: during each playback the tour's window showed moving
#     pictures (two screenshots, both lit, different).
#   - against a recorder that vanishes mid-download, the tour reports the
#     failed download and exits 1.
# Without DISPLAY it runs under an Xvfb display of its own when Xvfb is
# installed, headless otherwise; with DISPLAY the window shows there and the
# screenshots are not checked. Arguments go to the tour (--clip FILE.mp4).
# Its files land in build/default/remote-example-run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset default >/dev/null
# The tour depends on the test recorder, which lands beside it.
cmake --build --preset default -j2 --target remote_tour
bin=$PWD/build/default/bin
[ -x "${bin}/qx_test_recorder" ] || { echo "FAIL: no test recorder in ${bin}" >&2; exit 1; }

source scripts/example-arguments.sh
resolve_example_arguments "$@"

run=$PWD/build/default/remote-example-run
mkdir -p "${run}"
cd "${run}"
log=${run}/remote-tour.log
: >"${log}"

tour_pid=
xvfb_pid=
tail_pid=
cleanup() {
  [ -n "${tour_pid}" ] && kill "${tour_pid}" 2>/dev/null || true
  [ -n "${tail_pid}" ] && kill "${tail_pid}" 2>/dev/null || true
  [ -n "${xvfb_pid}" ] && kill "${xvfb_pid}" 2>/dev/null || true
  rm -f "${run}/display" "${run}/screen.xwd"
}
trap cleanup EXIT
passed=0
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
pass() {
  echo "ok: $*"
  passed=$((passed + 1))
}

# A display of our own when there is none: Xvfb picks a free number and
# writes it to fd 3. Without a window manager the tour's window sits at the
# screen's top left corner, where the screenshots look.
check_pictures=0
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  rm -f "${run}/display"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"${run}/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "${run}/display" ] && break; sleep 0.1; done
  [ -s "${run}/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(cat "${run}/display")
  check_pictures=1
  echo "== remote tour under Xvfb (display ${DISPLAY})"
elif [ -n "${DISPLAY:-}" ]; then
  echo "== remote tour on display ${DISPLAY} (pictures not checked)"
else
  echo "== remote tour headless (no Xvfb: pictures not checked)"
fi
# A machine without a sound device plays into SDL's dummy driver.
if ! ls /dev/snd/pcm* >/dev/null 2>&1 && [ -z "${SDL_AUDIODRIVER:-}" ]; then
  export SDL_AUDIODRIVER=dummy
fi

timeout 300 "${bin}/remote_tour" "${args[@]+"${args[@]}"}" >"${log}" 2>&1 &
tour_pid=$!
tail -n +1 -f --pid="${tour_pid}" "${log}" &
tail_pid=$!

# lines PATTERN: how many lines of the tour's output match.
lines() { grep -c -- "$1" "${log}" || true; }

# window_picture: the tour's 320x240 window in a screenshot of the display,
# as "LIT DIGEST": LIT 1 when most of it is lit in many colours (the black
# background of an empty window is neither), DIGEST a hash of its pixels.
window_picture() {
  xwd -root -silent >"${run}/screen.xwd" || return 1
  /usr/bin/python3 - "${run}/screen.xwd" <<'PY'
import hashlib
import struct
import sys

data = open(sys.argv[1], "rb").read()
field = struct.unpack(">25I", data[:100])
header_size, depth, byte_order, bits_per_pixel, bytes_per_line = (
    field[0], field[3], field[7], field[11], field[12])
masks, colour_entries = field[14:17], field[19]
if depth != 24 or bits_per_pixel != 32:
    sys.exit(f"unexpected screen format: depth {depth}, {bits_per_pixel} bits per pixel")
pixels = data[header_size + 12 * colour_entries:]
shifts = [(m & -m).bit_length() - 1 for m in masks]
order = "little" if byte_order == 0 else "big"
width, height = 320, 240
lit, colours, window = 0, set(), bytearray()
for y in range(height):
    row = pixels[y * bytes_per_line:y * bytes_per_line + 4 * width]
    window += row
    for x in range(width):
        value = int.from_bytes(row[4 * x:4 * x + 4], order)
        rgb = [(value & m) >> s for m, s in zip(masks, shifts)]
        lit += max(rgb) > 48
        colours.add(tuple(c >> 4 for c in rgb))
ok = lit >= width * height // 2 and len(colours) >= 32
print(1 if ok else 0, hashlib.sha1(window).hexdigest()[:12])
PY
}

# check_playback WHAT STOPS: while the tour plays WHAT ("by time", "by
# name"), and before its STOPS-th "Ovra_Stop" line, two screenshots of the
# window both show a picture and differ: the recording is being drawn.
check_playback() {
  local what=$1 stops=$2 first= picture shown digest
  for _ in $(seq 600); do
    [ "$(lines "playing ${what}")" -ge 1 ] && break
    kill -0 "${tour_pid}" 2>/dev/null || fail "the tour ended before playing ${what}"
    sleep 0.05
  done
  [ "$(lines "playing ${what}")" -ge 1 ] || fail "the tour did not play ${what} within 30 s"
  while [ "$(lines "Ovra_Stop(slot")" -lt "${stops}" ] && kill -0 "${tour_pid}" 2>/dev/null; do
    picture=$(window_picture) || fail "cannot read a screenshot of ${DISPLAY}"
    read -r shown digest <<<"${picture}"
    if [ "${shown}" = 1 ]; then
      if [ -z "${first}" ]; then
        first=${digest}
      elif [ "${digest}" != "${first}" ]; then
        pass "the window showed moving pictures while playing ${what}"
        return
      fi
    fi
    sleep 0.2
  done
  fail "the window showed no moving pictures while playing ${what}"
}

if [ "${check_pictures}" = 1 ]; then
  check_playback "by time" 1
  check_playback "by name" 2
fi
status=0
wait "${tour_pid}" || status=$?
tour_pid=
wait "${tail_pid}" 2>/dev/null || true
tail_pid=
[ "${status}" = 0 ] || fail "the tour exited with status ${status}"
pass "the tour exited 0: every call answered 0"
! grep -E -- "-> +-[0-9]+" "${log}" || fail "a call answered a failure"

# Frames of a file as ffprobe reads them (packets), and as it decodes them.
# An MPEG-TS file lists its stream twice (also under its program): the
# first line is the count.
packets() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of default=noprint_wrappers=1:nokey=1 "$1" | sed -n 1p
}
decoded() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of default=noprint_wrappers=1:nokey=1 "$1" | sed -n 1p
}
# Frames of the clip whose time lies in [FROM, TO) seconds: what the recorder
# has in that span.
packets_between() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time \
    -of default=noprint_wrappers=1:nokey=1 "$1" |
    awk -v from="$2" -v to="$3" '$1 != "" && $1 >= from - 1e-6 && $1 < to - 1e-6 { n++ } END { print n + 0 }'
}

# The tour names each file it downloaded whole and what it should hold.
span=$(sed -n 's/^  \(remote-by-time\.ts\)  seconds \([0-9]*\) to \([0-9]*\) of \(.*\)$/\1|\2|\3|\4/p' "${log}")
whole=$(sed -n 's/^  \(remote-by-name\.ts\)  the whole of \(.*\)$/\1|\2/p' "${log}")
[ -n "${span}" ] || fail "the tour reported no download by time"
[ -n "${whole}" ] || fail "the tour reported no download by name"

# check_download FILE EXPECTED WHAT: FILE holds EXPECTED frames (the
# recorder's), every one of them decodes.
check_download() {
  local file=$1 expected=$2 what=$3 got
  got=$(packets "${file}")
  echo "${file}: ${got} frames, the recorder has ${expected} in ${what}"
  [ "${expected}" -gt 0 ] || fail "the clip has no frames in ${what}"
  [ "${got}" = "${expected}" ] || fail "${file} holds ${got} frames, not ${expected}"
  [ "$(decoded "${file}")" = "${got}" ] || fail "${file} does not decode whole"
  pass "${file} holds the ${expected} frames of ${what}, all decoded"
}

IFS='|' read -r file from to clip <<<"${span}"
check_download "${file}" "$(packets_between "${clip}" "${from}" "${to}")" \
  "seconds ${from} to ${to}"

IFS='|' read -r file clip <<<"${whole}"
check_download "${file}" "$(packets "${clip}")" "the whole recording"

# The tour's verdict is worth something only if it fails when a step does:
# against a recorder that vanishes after 30 frames of the first download it
# must say so, go on without hanging and exit 1.
clip=$(sed -n -e 's/^Using the clip \(.*\)$/\1/p' \
  -e "s/^Making the recorder's clip \([^ ]*\) .*$/\1/p" "${log}")
case "${clip}" in /*) ;; *) clip=${run}/${clip} ;; esac
mkdir -p "${run}/vanishing"
cd "${run}/vanishing"
printf '#!/bin/sh\nexec "%s" --cut-after-frames 30 "$@"\n' "${bin}/qx_test_recorder" \
  >vanishing-recorder
chmod +x vanishing-recorder
status=0
env -u DISPLAY timeout 120 "${bin}/remote_tour" --recorder ./vanishing-recorder --clip "${clip}" \
  >vanishing.log 2>&1 || status=$?
vanishing_fail() {
  cat vanishing.log >&2
  fail "$@"
}
[ "${status}" = 1 ] || vanishing_fail "against a vanishing recorder the tour exited ${status}, not 1"
grep -q "the download failed (position -1)" vanishing.log ||
  vanishing_fail "the tour did not report the failed download"
grep -Eq "^remote tour: [0-9]+ steps? failed" vanishing.log ||
  vanishing_fail "the tour did not report its failed steps"
pass "against a recorder that vanishes mid-download the tour says so and exits 1"

echo "remote example: ${passed} passed, 0 failed (files in ${run})"
