#!/usr/bin/env bash
# Installs the Debian packages that are missing for a build ("build") or for every test ("test").
set -euo pipefail
what=${1:-build}
pkgs=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
