#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and the benchmarks need.
# Installs nothing when all are present; asks no questions.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev
  zip unzip p7zip-full python3 mtools dosfstools
  libboost-serialization-dev libspdlog-dev libinih-dev
  libcli11-dev clang libclang-rt-14-dev libxml2-utils doxygen
  gcovr
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
