#!/usr/bin/env bash
# Installs what is missing to build and run the station (not what the tests
# need), builds it (Release) and starts it in the
# working folder station/ (ignored by git), where it keeps Log/, Data/ and the
# per-product table TouchTestInfo-Vxxxx.csv. Arguments go to the program.
#
#   scripts/run.sh --emulated-frame[=PROFILE]
# starts it with an emulated frame instead of the USB bus, in the folder
# station-emulated/ (ignored by git) with a copy of the sample parameter table
# packaging/sample/TouchTestInfo-V0001.csv and the firmware image
# emulated-frame.bin that the emulated frame takes (choose it in the upgrade
# view); an unknown PROFILE is refused with the list of known ones.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

folder=station
for arg in "$@"; do
    case "$arg" in
        --emulated-frame | --emulated-frame=*) folder=station-emulated ;;
    esac
done

# What the program needs to build and run, no more (scripts/test.sh adds
# what the tests need).
bash scripts/install-deps.sh run
# Configured once: the build step configures again by itself when a CMake
# file changed.
if [ ! -f build-release/CMakeCache.txt ]; then
    echo "== building the station in build-release/: the first build takes about 3 min on 4 cores"
    echo "   (longer on fewer); later starts build only what changed"
    gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B build-release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
fi
cmake --build build-release -j"$(nproc)"
mkdir -p "$root/$folder"
if [ "$folder" = station-emulated ]; then
    # A copy edited in the folder (newer than the sample) is kept.
    cp -u "$root/packaging/sample/TouchTestInfo-V0001.csv" "$root/$folder/"
    # Made by the build, the same bytes as the frame's bootloader expects.
    cp "$root/build-release/src/device/emulated/emulated-frame.bin" "$root/$folder/"
fi
cd "$root/$folder"
exec "$root/build-release/src/app/kestrel-station" "$@"
