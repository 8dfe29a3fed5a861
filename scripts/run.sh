#!/usr/bin/env bash
# Installs what is missing, builds the station (Release) and starts it in the
# working folder station/ (ignored by git), where it keeps Log/, Data/ and the
# per-product table TouchTestInfo-Vxxxx.csv.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build-release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
cmake --build build-release -j"$(nproc)"
mkdir -p "$root/station"
cd "$root/station"
exec "$root/build-release/src/app/kestrel-station" "$@"
