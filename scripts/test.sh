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
  log="$build/ctest.log"
  if ! (cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" \
          ctest --output-on-failure -j "$jobs") 2>&1 | tee "$log"; then
    # LeakSanitizer's own tracer now and then crashes while it stops the
    # threads of a test that has passed ("Tracer caught signal 11", then
    # "LeakSanitizer has encountered a fatal error"), more often on a loaded
    # machine. When every failure is that, the failed tests run once more, on
    # their own; any other failure stands.
    failed="$(sed -n '/The following tests FAILED:/,$p' "$log" | grep -c ' - ' || true)"
    tracer="$(grep -c 'LeakSanitizer has encountered a fatal error' "$log" || true)"
    if [ "$mode" = sanitize ] && [ "$failed" -gt 0 ] && [ "$tracer" -ge "$failed" ]; then
      echo "=== $mode: $failed test(s) hit the leak checker's tracer crash; running them again ==="
      if ! (cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --rerun-failed); then
        status=1
      fi
    else
      status=1
    fi
  fi
done
exit $status
