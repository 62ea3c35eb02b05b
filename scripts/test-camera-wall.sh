#!/usr/bin/env bash
# The camera wall under Xvfb: a 2x2 wall of one live stream and three files,
# each a clip of its own colour. A screenshot of the X screen must show each
# tile in its stream's colour and a label drawn under each tile; then the
# command line pauses, steps, jumps, snapshots, records and switches files,
# changes speed, colour and sound of the selected tile, each call answering
# 0.
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
  exec 7>&- 2>/dev/null || true
  rm -rf "${work}"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- camera wall output" >&2
  cat "${work}/wall.log" >&2 || true
  exit 1
}

clip() { # name colour frames
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi \
    -i "color=c=$2:size=160x120:rate=25" -frames:v "$3" -c:v libx264 -preset veryfast \
    -g 12 -pix_fmt yuv420p -f mpegts "${work}/$1.ts"
}
clip live red 750   # 30 s: still streaming when the screenshot is taken
clip green green 100
clip blue blue 100
clip yellow yellow 100

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"${work}/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "${work}/display" ] && break; sleep 0.1; done
[ -s "${work}/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "${work}/display")
export SDL_AUDIODRIVER=dummy

mkfifo "${work}/commands"
(cd "${work}" && exec "${source}/build/default/bin/camera_wall" --grid 2x2 --live live.ts \
  green.ts blue.ts yellow.ts <commands >wall.log 2>&1) &
wall_pid=$!
exec 7>"${work}/commands"

wait_for() { # pattern: bounded wait for a line of the wall's output
  for _ in $(seq 600); do
    grep -q "$1" "${work}/wall.log" && return 0
    kill -0 "${wall_pid}" 2>/dev/null || fail "the wall ended while waiting for '$1'"
    sleep 0.1
  done
  fail "no '$1' within 60 s"
}
wait_for "wall: all 4 tiles showing"

echo "== screenshot"
xwd -root -silent >"${work}/wall.xwd"
convert "${work}/wall.xwd" "${source}/build/default/camera-wall.png"
# Raw 8-bit RGB rows of the 800x600 screen.
convert "${work}/wall.xwd" -depth 8 "rgb:${work}/wall.rgb"
/usr/bin/python3 - "${work}/wall.rgb" <<'PY'
import sys

width, height = 800, 600
pixels = open(sys.argv[1], "rb").read()
assert len(pixels) == width * height * 3, len(pixels)

def pixel(x, y):
    i = 3 * (y * width + x)
    return pixels[i], pixels[i + 1], pixels[i + 2]

# The wall: 640x544 at the screen's corner, cells 320x272, each a tile
# window (316x252 inside a 2-pixel border) over a 16-pixel label.
expected = {0: (255, 0, 0), 1: (0, 128, 0), 2: (0, 0, 255), 3: (255, 255, 0)}
failures = 0
for tile, colour in expected.items():
    x0, y0 = 320 * (tile % 2), 272 * (tile // 2)
    patch = [pixel(x0 + 140 + dx, y0 + 110 + dy) for dx in range(40) for dy in range(30)]
    mean = tuple(sum(p[c] for p in patch) / len(patch) for c in range(3))
    ok = all(abs(m - e) <= 60 for m, e in zip(mean, colour))
    label = [pixel(x0 + x, y0 + 272 - 16 + y) for x in range(4, 300) for y in range(16)]
    text = sum(1 for p in label if max(p) > 64)
    print(f"tile {tile}: mean colour {tuple(round(m) for m in mean)}, expected {colour}; "
          f"label pixels lit {text}")
    failures += (not ok) + (text < 50)
sys.exit(1 if failures else 0)
PY
echo "ok"

echo "== commands"
send() { echo "$*" >&7; }
count_ok() { grep -c -- "-> *0  QXPLAYSDK NO ERROR" "${work}/wall.log" || true; }
before=$(count_ok)
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
send color 96 64 64 64
send quit
for _ in $(seq 300); do kill -0 "${wall_pid}" 2>/dev/null || break; sleep 0.1; done
kill -0 "${wall_pid}" 2>/dev/null && fail "the wall did not quit"
wait "${wall_pid}" || fail "the wall exited with an error"
wall_pid=
after=$(count_ok)
cat "${work}/wall.log" | sed -n '/tile 1 selected/,$p'
# 17 calls above answer 0 (colour set and read back is two).
[ $((after - before)) -ge 17 ] || fail "only $((after - before)) calls answered 0"
! grep -E -- "-> *-[0-9]+" <(sed -n '/tile 1 selected/,$p' "${work}/wall.log") ||
  fail "a command failed"
grep -q "finished recording ${work}/rec-1.ts" "${work}/wall.log" || fail "rec-1 not announced"
grep -q "finished recording ${work}/rec-2.ts" "${work}/wall.log" || fail "rec-2 not announced"
grep -q "tile 0 colour 96 64 64 64" "${work}/wall.log" || fail "colour not read back"
[ "$(head -c 2 "${work}/tile1.bmp")" = BM ] || fail "no snapshot"
echo "camera wall: 2 passed, 0 failed"
