#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds a host against it through the
# CMake package and through pkg-config, with gcc and with clang, at -Wall -Wextra -Wpedantic
# -Werror, and runs it; runs the installed kst from its prefix, as a user would.
# $1: build folder, $2: source folder.
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
flags="-Wall -Wextra -Wpedantic -Werror"

cmake --install "$build" --prefix "$prefix" > /dev/null
libdir=$(dirname "$(find "$prefix" -name 'libKstSystem.so.1' | head -n 1)")
test -L "$libdir/libKstSystem.so"
readelf -d "$libdir/libKstSystem.so.1" | grep -q 'SONAME.*libKstSystem.so.1'

for compiler in g++ clang++; do
  cmake -S "$source/tests/install/consumer" -B "$scratch/cmake-$compiler" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS="$flags" \
    > /dev/null
  cmake --build "$scratch/cmake-$compiler" > /dev/null
  "$scratch/cmake-$compiler/consumer" | grep -qx 'a;b 1.0.0'

  # pkg-config gives a plain -I: the public headers themselves must compile without a warning.
  PKG_CONFIG_PATH=$libdir/pkgconfig "$compiler" $flags -o "$scratch/pc-$compiler" \
    "$source/tests/install/consumer/main.cpp" $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs KstSystem)
  LD_LIBRARY_PATH=$libdir "$scratch/pc-$compiler" | grep -qx 'a;b 1.0.0'
done

# The installed program finds the library through its run path and the texts under share/.
env -u LD_LIBRARY_PATH "$prefix/bin/kst" --version | grep -qx 'kst 1.0.0 (libKstSystem 1.0.0)'
env -u LD_LIBRARY_PATH LC_ALL=C "$prefix/bin/kst" error 0x20000005 --description '%File%=a;' |
  grep -qx 'Cannot open the file a.'
test -s "$prefix/share/bash-completion/completions/kst"
bash -c "source '$prefix/share/bash-completion/completions/kst' && complete -p kst" | grep -q _kst
echo "install: hosts built with gcc and clang through the CMake package and pkg-config; kst ran from its prefix"
