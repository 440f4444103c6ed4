#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, and one under
# AddressSanitizer + UndefinedBehaviorSanitizer. Warnings are errors.
#   scripts/test.sh            both builds
#   scripts/test.sh --normal   the normal build only
#   scripts/test.sh --sanitize the sanitizer build only
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

jobs="$(nproc 2>/dev/null || echo 2)"
modes=(normal sanitize)
case "${1:-}" in
  --normal) modes=(normal) ;;
  --sanitize) modes=(sanitize) ;;
  "") ;;
  *) echo "usage: $0 [--normal|--sanitize]" >&2; exit 2 ;;
esac

export QT_QPA_PLATFORM=offscreen
# Mesa's software renderer for the GL tests (they run under xvfb-run).
export LIBGL_ALWAYS_SOFTWARE=1

status=0
for mode in "${modes[@]}"; do
  build="$root/build/test-$mode"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKW_WERROR=ON)
  if [ "$mode" = sanitize ]; then
    flags+=(-DSKW_SANITIZE=ON -DSKW_BUILD_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # Qt's own libraries keep a few allocations alive until exit.
    export LSAN_OPTIONS=suppressions="$root/scripts/lsan.supp"
  fi
  echo "=== $mode build ==="
  cmake -S "$root" -B "$build" "${flags[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"
  echo "=== $mode tests ==="
  if ! (cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" \
          ctest --output-on-failure -j "$jobs"); then
    status=1
  fi
done
exit $status
