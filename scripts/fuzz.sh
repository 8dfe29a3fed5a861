#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each of them
# for a bounded time.   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
secs=${1:-60}
# clang and its fuzzer runtime come with the tests' packages.
bash scripts/install-deps.sh test
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
CC=clang CXX=clang++ cmake -S . -B build-fuzz "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTATION_FUZZ=ON -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
cmake --build build-fuzz -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
# Leaks are looked for too: a parser that leaks on malformed input is found
# here even when no unit test walks that path.
export ASAN_OPTIONS="detect_leaks=1"
status=0
shopt -s nullglob
targets=(build-fuzz/fuzz/*/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets"; exit 0; fi
for t in "${targets[@]}"; do
  [ -f "$t" ] && [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus="$root/fuzz-corpus/$name"
  mkdir -p "$corpus" "$root/build-fuzz/crashes/$name"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  # Inputs as long as the shapes the target must reach: a test log with an
  # element of many attributes or a frame of nested values; a conversation
  # of a whole test run.
  maxlen=()
  case "$name" in
    fuzz_testlog) maxlen=(-max_len=1048576) ;;
    fuzz_replies) maxlen=(-max_len=65536) ;;
  esac
  echo "== $name for ${secs}s"
  if ! "$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 "${maxlen[@]}" \
        -artifact_prefix="$root/build-fuzz/crashes/$name/" "$corpus" "${seeds[@]}" \
        > "$root/build-fuzz/$name.log" 2>&1; then
    echo "!! $name found a failure:"; tail -n 40 "$root/build-fuzz/$name.log"; status=1
  else
    grep -E '^(Done|#[0-9]+ +DONE)' "$root/build-fuzz/$name.log" | tail -n1 || true
  fi
done
exit $status
