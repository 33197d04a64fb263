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
  postgresql ser2net locales
  "$@"
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# The tests start a PostgreSQL server that speaks German (its words for a
# refused password differ): the locale must exist.
german_locale() {
  if ! locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; then
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
      echo "install-deps: the locale de_DE.UTF-8 could not be made; a test needs it" >&2
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
german_locale
