#!/usr/bin/env bash
# Installs what is missing, builds the module, installs it under a prefix
# inside the build tree, then starts the demo host application. Arguments go
# to the program:
#   scripts/run.sh [--screenshot FILE] [--user-dir DIR] [--data DIR] [SKELETON.bvh]
# With --screenshot the window is drawn offscreen, so no display is needed;
# otherwise the window needs one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build/release"
prefix="$build/prefix"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKW_BUILD_TESTS=OFF -DSKW_BUILD_BENCH=OFF \
      -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
cmake --install "$build" >/dev/null
echo "module:  $prefix/lib/libskelwright.so"
echo "headers: $prefix/include/skelwright"

screenshot=no
for arg in "$@"; do
  if [ "$arg" = --screenshot ]; then screenshot=yes; fi
done
if [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if [ "$screenshot" = yes ]; then
    export QT_QPA_PLATFORM=offscreen
  elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: there is no display (DISPLAY is not set), so the demo window cannot open." >&2
    echo "run: scripts/run.sh --screenshot FILE draws it offscreen into FILE instead." >&2
    exit 1
  fi
fi
echo "demo:    $build/skelwright-demo $*"
exec "$build/skelwright-demo" "$@"
