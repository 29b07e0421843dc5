#!/bin/sh
# Installs the Debian packages the build, the tests and the tools need, when
# they are missing. A fresh Debian 12 machine needs nothing else.
set -eu

packages="cmake ninja-build g++ make pkg-config
libcurl4-openssl-dev qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
xvfb xauth x11-utils media-types iproute2 util-linux
desktop-file-utils appstream xdotool python3 dpkg-dev file gzip lintian
clang libclang-rt-14-dev valgrind"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "setup: installing$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
