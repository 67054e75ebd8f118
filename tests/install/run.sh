#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds a host against it twice:
# through the CMake package and through pkg-config. $1: build folder, $2: source folder.
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" > /dev/null
libdir=$(dirname "$(find "$prefix" -name 'libKstSystem.so.1' | head -n 1)")
test -L "$libdir/libKstSystem.so"
readelf -d "$libdir/libKstSystem.so.1" | grep -q 'SONAME.*libKstSystem.so.1'

cmake -S "$source/tests/install/consumer" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$scratch/cmake" > /dev/null
LD_LIBRARY_PATH=$libdir "$scratch/cmake/consumer" | grep -qx 'a;b 1.0.0'

export PKG_CONFIG_PATH=$libdir/pkgconfig
g++ -o "$scratch/pc-consumer" "$source/tests/install/consumer/main.cpp" $(pkg-config --cflags --libs KstSystem)
LD_LIBRARY_PATH=$libdir "$scratch/pc-consumer" | grep -qx 'a;b 1.0.0'
echo "install: CMake package and pkg-config hosts built and ran"
