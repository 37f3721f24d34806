#!/usr/bin/env bash
# Installs the runtime into a scratch prefix and builds a translated program
# against it with nothing but pkg-config, as another project would.
set -euo pipefail
build_dir=$1
source_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
${CXX:-c++} -std=c++20 "$source_dir/program/trelko.cpp" -o "$prefix/prog" $(pkg-config --cflags --libs kxrt)
test -x "$prefix/prog"
echo "linked a translated program against the installed runtime"
