#!/bin/sh
# Installs every Debian package the build, the tests and the program need.
set -eu
PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libqt6svg6 libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
  dovecot-pop3d mpop libssl-dev openssl libxlsxwriter-dev python3-openpyxl fonts-noto-cjk xvfb xauth wmdocker python3 procps passwd netbase time eatmydata
  dpkg-dev lintian desktop-file-utils util-linux systemd
  clang libclang-rt-dev clang-format clang-tidy lld
  libcurl4-openssl-dev nlohmann-json3-dev libsecret-1-dev gnome-keyring dbus dbus-x11 libsecret-tools"
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $PACKAGES
