#!/usr/bin/env bash
# Rewrites the files the project makes of itself: the demo's install data
# (demo/data/config and demo/data/template, by the model's own writers) and the
# README's picture of the demo window (docs/demo.png, taken with a fresh
# per-user folder on a virtual X display, so that the 3D view draws too).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKW_BUILD_TESTS=OFF -DSKW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target make_demo_data skelwright-demo

rm -rf "$root/demo/data/config" "$root/demo/data/template"
"$build/make_demo_data" "$root/demo/data"

user="$(mktemp -d)"
trap 'rm -rf "$user"' EXIT
mkdir -p "$root/docs"
LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/skelwright-demo" --user-dir "$user" --screenshot "$root/docs/demo.png"
echo "picture: $root/docs/demo.png"
