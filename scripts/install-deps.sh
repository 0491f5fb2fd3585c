#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Idempotent: when everything is present it changes nothing and downloads nothing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6serialport6 qt6-translations-l10n
  libsqlite3-dev sqlite3 libzip-dev zlib1g-dev zip unzip libxlsxwriter-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool fontconfig fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
