#!/usr/bin/env bash
# Installs what is missing (the program's packages and the tests' own),
# builds and runs every test with CTest.
#   scripts/test.sh             normal build (build/)
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build (build-sanitize/)
# Extra arguments after the mode go to ctest (for example -L device).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=normal
if [ "${1:-}" = "--sanitize" ]; then mode=sanitize; shift; fi

# The program's packages and what the tests add (servers, Xvfb, umockdev...).
bash scripts/install-deps.sh test

if [ "$mode" = sanitize ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DSTATION_SANITIZE=ON -DSTATION_BENCH=OFF)
  # Whole allocation stacks (Qt is built without frame pointers), so that the
  # few suppressions of scripts/lsan.supp can name what they mean.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
  export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  build=build
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== building the station, its tests and benchmarks in $build/: the first build takes about 10 min"
  echo "   on 4 cores (longer on fewer, and with --sanitize); then the tests run for several minutes"
fi
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B "$build" "${gen[@]}" "${flags[@]}"
cmake --build "$build" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export LANG=C.UTF-8
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
