#!/usr/bin/env bash
# The camera wall under Xvfb, each tile fed a clip of its own colour:
#   - 2x2, one live stream and three files: a screenshot of the X screen
#     must show every tile in its stream's colour with the label the caller
#     draws under it; then the command line pauses, steps, jumps, snapshots,
#     records and switches files, changes speed, sound and colour of the
#     selected tile, each call answering 0;
#   - 3x3, three live streams and six files: the same screenshot check.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target camera_wall

work=$(mktemp -d)
wall_pid=
xvfb_pid=
cleanup() {
  [ -n "${wall_pid}" ] && kill "${wall_pid}" 2>/dev/null || true
  [ -n "${xvfb_pid}" ] && kill "${xvfb_pid}" 2>/dev/null || true
  rm -rf "${work}"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- camera wall output" >&2
  cat "${work}/wall.log" >&2 || true
  exit 1
}

# One clip per colour; live ones last 30 s, so that they are still streaming
# when the screenshot is taken, files 4 s (they start again at their end).
colours=(red green blue yellow cyan magenta white gray orange)
for colour in "${colours[@]}"; do
  for kind in live file; do
    frames=100
    [ "${kind}" = live ] && frames=750
    ffmpeg -nostdin -hide_banner -loglevel error -f lavfi \
      -i "color=c=${colour}:size=160x120:rate=25" -frames:v "${frames}" -c:v libx264 \
      -preset veryfast -g 12 -pix_fmt yuv420p -f mpegts "${work}/${colour}-${kind}.ts"
  done
done

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"${work}/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "${work}/display" ] && break; sleep 0.1; done
[ -s "${work}/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "${work}/display")
export SDL_AUDIODRIVER=dummy

wait_for() { # pattern: bounded wait for a line of the wall's output
  for _ in $(seq 600); do
    grep -q "$1" "${work}/wall.log" && return 0
    kill -0 "${wall_pid}" 2>/dev/null || fail "the wall ended while waiting for '$1'"
    sleep 0.1
  done
  fail "no '$1' within 60 s"
}

# start_wall GRID LIVE_COUNT: tiles take the colours in order, the first
# LIVE_COUNT as live streams.
start_wall() {
  local grid=$1 lives=$2 tiles=$((${1%x*} * ${1#*x})) args=()
  for ((i = 0; i < tiles; ++i)); do
    if ((i < lives)); then
      args+=(--live "${colours[i]}-live.ts")
    else
      args+=("${colours[i]}-file.ts")
    fi
  done
  rm -f "${work}/commands" "${work}/wall.log"
  mkfifo "${work}/commands"
  (cd "${work}" && exec "${source}/build/default/bin/camera_wall" --grid "${grid}" "${args[@]}" \
    <commands >wall.log 2>&1) &
  wall_pid=$!
  exec 7>"${work}/commands"
  wait_for "wall: all ${tiles} tiles showing"
}

stop_wall() {
  echo quit >&7
  for _ in $(seq 300); do kill -0 "${wall_pid}" 2>/dev/null || break; sleep 0.1; done
  kill -0 "${wall_pid}" 2>/dev/null && fail "the wall did not quit"
  wait "${wall_pid}" || fail "the wall exited with an error"
  wall_pid=
  exec 7>&-
}

# check_screenshot GRID: every tile's middle in its colour, its label drawn.
check_screenshot() {
  xwd -root -silent >"${work}/wall.xwd"
  convert "${work}/wall.xwd" "${source}/build/default/camera-wall-$1.png"
  convert "${work}/wall.xwd" -depth 8 "rgb:${work}/wall.rgb"
  geometry=$(sed -n 's/^wall: \([0-9]*\)x\([0-9]*\) window, cells \([0-9]*\)x\([0-9]*\)$/\3 \4/p' \
    "${work}/wall.log")
  /usr/bin/python3 - "${work}/wall.rgb" "$1" ${geometry} "${colours[@]}" <<'PY'
import sys

screen_w, screen_h = 1280, 1024
pixels = open(sys.argv[1], "rb").read()
assert len(pixels) == screen_w * screen_h * 3, len(pixels)
columns, rows = (int(n) for n in sys.argv[2].split("x"))
cell_w, cell_h = int(sys.argv[3]), int(sys.argv[4])
label_h = 16
rgb = {"red": (255, 0, 0), "green": (0, 128, 0), "blue": (0, 0, 255),
       "yellow": (255, 255, 0), "cyan": (0, 255, 255), "magenta": (255, 0, 255),
       "white": (255, 255, 255), "gray": (128, 128, 128), "orange": (255, 165, 0)}

def pixel(x, y):
    i = 3 * (y * screen_w + x)
    return pixels[i], pixels[i + 1], pixels[i + 2]

failures = 0
for tile in range(columns * rows):
    expected = rgb[sys.argv[5 + tile]]
    x0, y0 = cell_w * (tile % columns), cell_h * (tile // columns)
    video_w, video_h = cell_w, cell_h - label_h
    patch = [pixel(x0 + video_w // 2 + dx, y0 + video_h // 2 + dy)
             for dx in range(-20, 20) for dy in range(-15, 15)]
    mean = tuple(sum(p[c] for p in patch) / len(patch) for c in range(3))
    ok = all(abs(m - e) <= 60 for m, e in zip(mean, expected))
    label = [pixel(x0 + x, y0 + cell_h - label_h + y)
             for x in range(4, cell_w - 8) for y in range(label_h)]
    lit = sum(1 for p in label if max(p) > 64)
    print(f"tile {tile}: mean colour {tuple(round(m) for m in mean)}, "
          f"expected {sys.argv[5 + tile]} {expected}; label pixels lit {lit}")
    failures += (not ok) + (lit < 50)
sys.exit(1 if failures else 0)
PY
}

echo "== 2x2: screenshot"
start_wall 2x2 1
check_screenshot 2x2 || fail "2x2 screenshot"

echo "== 2x2: commands on the selected tile"
send() { echo "$*" >&7; }
send select 1
send pause
send step
send back
send jump 10
send pos 50
send snap "${work}/tile1.bmp"
send resume
send speed 2
send sound
send volume 1000
send mute
send record "${work}/rec-1.ts"
send info
wait_for "tile 1 port 34 file"
for _ in $(seq 300); do [ -s "${work}/rec-1.ts" ] && break; sleep 0.1; done
send switch "${work}/rec-2.ts"
for _ in $(seq 300); do [ -s "${work}/rec-2.ts" ] && break; sleep 0.1; done
send stoprec
send select 0
send color 112 64 64 64
# The brighter red tile: red stays full, green and blue rise (bounded wait
# for the next pictures drawn with the new values).
brighter=0
for _ in $(seq 100); do
  xwd -root -silent >"${work}/after.xwd"
  convert "${work}/after.xwd" -crop 40x30+140+105 -depth 8 "rgb:${work}/after.rgb"
  if /usr/bin/python3 - "${work}/after.rgb" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
means = [sum(data[c::3]) / (len(data) // 3) for c in range(3)]
sys.exit(0 if means[0] > 200 and means[1] > 30 and means[2] > 30 else 1)
PY
  then
    brighter=1
    break
  fi
  sleep 0.1
done
[ "${brighter}" = 1 ] || fail "the colour change did not reach the drawn picture"
stop_wall
commands=$(sed -n '/tile 1 selected/,$p' "${work}/wall.log")
echo "${commands}"
# 17 calls answer 0: the 14 commands' calls, and colour set and read back.
[ "$(grep -c -- "-> *0  QXPLAYSDK NO ERROR" <<<"${commands}")" -ge 17 ] || fail "calls did not answer 0"
! grep -E -- "-> *-[0-9]+" <<<"${commands}" || fail "a command failed"
grep -q "finished recording ${work}/rec-1.ts" <<<"${commands}" || fail "rec-1 not announced"
grep -q "finished recording ${work}/rec-2.ts" <<<"${commands}" || fail "rec-2 not announced"
grep -q "tile 0 colour 112 64 64 64" <<<"${commands}" || fail "colour not read back"
[ "$(head -c 2 "${work}/tile1.bmp")" = BM ] || fail "no snapshot"

echo "== 3x3: screenshot"
start_wall 3x3 3
check_screenshot 3x3 || fail "3x3 screenshot"
stop_wall
echo "camera wall: 4 passed, 0 failed"
