#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the station needs to build, run
# and test that is not installed yet. A warm machine never touches the network.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
  libqt5serialport5-dev libqt5charts5-dev libqwt-qt5-dev
  libqrencode-dev libudev-dev libcurl4-openssl-dev
  libqt5sql5-psql libqt5sql5-odbc unixodbc unixodbc-dev odbc-postgresql postgresql
  python3-pyftpdlib fonts-dejavu-core fonts-wqy-microhei
  clang libclang-rt-14-dev
  umockdev libumockdev-dev
  xvfb openbox x11-utils imagemagick
)

missing=()
for p in "${PKGS[@]}"; do
  st=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$st" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "== installing: ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
