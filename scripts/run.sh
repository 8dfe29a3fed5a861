#!/usr/bin/env bash
# Installs what is missing, builds the station (Release) and starts it in the
# working folder station/ (ignored by git), where it keeps Log/, Data/ and the
# per-product table TouchTestInfo-Vxxxx.csv. Arguments go to the program.
#
#   scripts/run.sh --emulated-frame[=PROFILE]
# starts it with an emulated frame instead of the USB bus, in the folder
# station-emulated/ (ignored by git) with a copy of the sample parameter table
# packaging/sample/TouchTestInfo-V0001.csv; an unknown PROFILE is refused
# with the list of known ones.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

folder=station
for arg in "$@"; do
    case "$arg" in
        --emulated-frame | --emulated-frame=*) folder=station-emulated ;;
    esac
done

bash scripts/install-deps.sh
# Configured once: the build step configures again by itself when a CMake
# file changed.
if [ ! -f build-release/CMakeCache.txt ]; then
    gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B build-release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
fi
cmake --build build-release -j"$(nproc)"
mkdir -p "$root/$folder"
if [ "$folder" = station-emulated ]; then
    # A copy edited in the folder (newer than the sample) is kept.
    cp -u "$root/packaging/sample/TouchTestInfo-V0001.csv" "$root/$folder/"
fi
cd "$root/$folder"
exec "$root/build-release/src/app/kestrel-station" "$@"
