#!/bin/sh
# Installs what building, running and testing need on Debian 12 (as root).
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    cmake ninja-build g++ ccache pkg-config \
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev \
    libqt6sql6-sqlite libqt6sql6-psql postgresql qt6-charts-dev libqt6opengl6-dev \
    fonts-dejavu-core xdg-utils \
    python3-dbfread shapelib binutils python3-intelhex srecord poppler-utils dpkg-dev ser2net \
    clang-14 libclang-rt-14-dev
