#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: an optimised
# build and an AddressSanitizer + UndefinedBehaviorSanitizer build. Tests that
# need a display (label "gl") run under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
status=0
failed=""
# A long log is often read from its end: every suite's failures are named
# again there.
note_failures() {
  local dir=$1 suite=$2
  status=1
  local log="$dir/Testing/Temporary/LastTestsFailed.log"
  if [ -f "$log" ]; then
    failed+=$(sed "s|^|  $dir $suite: |" "$log")$'\n'
  else
    failed+="  $dir $suite: (no list)"$'\n'
  fi
}
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest -LE gl -j "$jobs" --output-on-failure --timeout 600) || note_failures "$dir" unit
  (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gl -j "$jobs" --output-on-failure --timeout 600) || note_failures "$dir" gl
}
run_suite build -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=ON -DZT_BUILD_BENCH=ON
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The sanitizer build takes the optimised build's learned racing lines
# rather than riding the learning races again at a fraction of the speed.
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=ON -DZT_BUILD_TESTS=ON -DZT_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-O1 \
  -DZT_LINES_FROM="$PWD/build/data"
if [ $status -ne 0 ]; then printf 'Some tests failed:\n%s' "$failed"; fi
exit $status
