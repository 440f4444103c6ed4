#!/usr/bin/env bash
# Installs the module from the build tree into a scratch prefix, then configures,
# builds and runs the consumer project against that prefix alone: the host-like
# program, and the program that names every declaration of the installed headers
# (which also holds the headers left uninstalled in the module's sources to their
# labels).
set -euo pipefail
build="$1"; source="$2"; work="$3"; modulesources="$4"
rm -rf "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release \
      -DSKW_MODULE_SOURCES="$modulesources" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
"$work/build/api_surface"
