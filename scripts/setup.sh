#!/usr/bin/env bash
# Installs every Debian package Bramlotte needs to build, test and run.
# Skips what is already installed; works as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    googletest libgtest-dev
    qtbase5-dev libqt5svg5-dev libqt5webkit5-dev qt5-qmake
    libqgis-dev qgis
    libgdal-dev gdal-bin python3-gdal libgeos-dev libsqlite3-dev libicu-dev libpq-dev libjemalloc-dev
    xvfb xauth openbox x11-apps imagemagick poppler-utils
    fonts-liberation fonts-dejavu-core
    locales time bc
    postgresql postgresql-15-postgis-3
)

# Locales the tests sort and write under (they make any that is missing in a
# folder of their own, and skip where even that fails).
locales=(en_US.UTF-8 de_DE.UTF-8 fi_FI.UTF-8)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: all packages present"
else
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

for l in "${locales[@]}"; do
    # locale -a lists "fi_FI.utf8" for fi_FI.UTF-8.
    if ! locale -a 2>/dev/null | grep -qix "${l%%.*}.utf-\?8"; then
        echo "setup: making the locale $l"
        $sudo localedef -i "${l%%.*}" -f UTF-8 "$l"
    fi
done
