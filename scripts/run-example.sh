#!/usr/bin/env bash
# Installs what the example needs (Debian's packages, as root), builds with
# the default preset and runs the media tour: it makes a sample clip, plays
# it (into an X window when DISPLAY is set, headless otherwise), prints the
# decoded frames, takes a snapshot, and records the clip fed as a live
# stream into two files. Arguments go to the tour (a file to play, or
# --stream FILE). Its files land in build/default/example-run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset default
cmake --build --preset default -j2 --target media_tour

# A machine without a sound device plays into SDL's dummy driver.
if ! ls /dev/snd/pcm* >/dev/null 2>&1 && [ -z "${SDL_AUDIODRIVER:-}" ]; then
  export SDL_AUDIODRIVER=dummy
fi

source scripts/example-arguments.sh
resolve_example_arguments "$@"

mkdir -p build/default/example-run
cd build/default/example-run
exec ../bin/media_tour "${args[@]+"${args[@]}"}"
