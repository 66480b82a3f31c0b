#!/bin/sh
# Installs what building and testing need on a Debian machine. Run as root.
# Does nothing when everything is already present.
set -e
packages="g++ cmake make pkg-config libgtest-dev libcli11-dev coinor-libcbc-dev glpk-utils libhts-dev bcftools tabix chromium clang libclang-rt-14-dev python3"
missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages:$missing (run this script as root to install them)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends $missing
