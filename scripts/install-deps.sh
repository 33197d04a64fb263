#!/usr/bin/env bash
# Installs the Debian packages ZQreader needs to build and test, if missing,
# and any further packages named as arguments.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev
  libqt6sql6-sqlite libqt6sql6-odbc libqt6sql6-psql
  libx11-dev libsqlite3-dev libpq-dev sqlite3 tzdata
  poppler-utils
  mdbtools unixodbc libsqliteodbc
  postgresql ser2net
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
