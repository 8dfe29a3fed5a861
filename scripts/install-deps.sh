#!/usr/bin/env bash
# Installs, from Debian's packages, what is missing for:
#
#   scripts/install-deps.sh run    building and running the station (scripts/run.sh)
#   scripts/install-deps.sh test   that, and what the tests, the benchmarks and the
#                                  fuzz targets need (scripts/test.sh, scripts/fuzz.sh)
#
# A warm machine never touches the network. Run as root, or as a user who
# may use sudo (the member of the group "sudo" on Debian).
set -euo pipefail

set_name=${1:-run}

# The build (Qt 5 with its SQL, serial port and chart modules, Qwt,
# libqrencode, libudev, libcurl, the ODBC headers; lrelease for the embedded
# Chinese catalogue) and the run: the Qt ODBC driver and the PostgreSQL ODBC
# driver that the upload uses, and the fonts of the windows, Chinese ones
# included.
RUN_PKGS=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
  libqt5serialport5-dev libqt5charts5-dev libqwt-qt5-dev
  libqrencode-dev libudev-dev libcurl4-openssl-dev unixodbc-dev
  libqt5sql5-odbc odbc-postgresql
  fonts-dejavu-core fonts-wqy-microhei
)
# The tests: a PostgreSQL server and an FTP server on loopback (and the Qt
# PostgreSQL driver and the ODBC tools they use), the mocked USB devices
# (umockdev), windows in a virtual X server with a window manager and the
# image tools of the screenshot checks; clang and its fuzzer runtime for
# scripts/fuzz.sh.
TEST_PKGS=(
  postgresql libqt5sql5-psql unixodbc python3-pyftpdlib
  umockdev libumockdev-dev
  xvfb openbox x11-utils imagemagick
  clang libclang-rt-14-dev
)

case "$set_name" in
  run) PKGS=("${RUN_PKGS[@]}") ;;
  test) PKGS=("${RUN_PKGS[@]}" "${TEST_PKGS[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${PKGS[@]}"; do
  st=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$st" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "== ${#missing[@]} Debian packages are missing: ${missing[*]}" >&2
    echo "   Install them as root (apt-get install ...), or install sudo and add this user to the" >&2
    echo "   group \"sudo\" (as root: apt-get install sudo && adduser $(id -un) sudo; then log in again)." >&2
    exit 1
  fi
  SUDO=(sudo)
fi
echo "== installing ${#missing[@]} Debian packages with their dependencies (${missing[*]})"
echo "   from the network; on a fresh system this takes a few minutes, with no output meanwhile."
start=$(date +%s)
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "== installed in $(( $(date +%s) - start )) s"
