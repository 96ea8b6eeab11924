#!/usr/bin/env bash
# Installs what building, testing and running the station need on Debian 12.
# Only missing packages are installed; run as root or with sudo available.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev libqcustomplot-dev libsqlite3-dev sqlite3
    libgl-dev locales xvfb xauth imagemagick fonts-dejavu-core
    clang-14 libclang-rt-14-dev
    libbenchmark-dev valgrind
    libpq-dev postgresql
    poppler-utils
    ccache
    libmosquitto-dev mosquitto libcurl4-openssl-dev python3-aiosmtpd
    lintian debootstrap desktop-file-utils appstream
    qtkeychain-qt6-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

# The locale tests run under a decimal-comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
