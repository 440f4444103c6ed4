#!/usr/bin/env bash
# Installs what is missing, builds the module and installs it under a prefix
# inside the build tree.
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
