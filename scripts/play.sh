#!/usr/bin/env bash
# Sets up, builds and plays the game. Extra ZARN_* variables pass through
# (ZARN_BACKEND=headless ZARN_FRAMES=600 ZARN_DUMP=frames ./scripts/play.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" play
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target zarn resources 2>/dev/null ||
  cmake --build "$root/build" -j"$(nproc)" --target zarn
# The game reads res/ and writes game.cfg in its working folder.
cd "$root/build"
exec ./zarn
