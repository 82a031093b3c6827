#!/usr/bin/env bash
# install_test.sh BUILD_DIR WORK_DIR: cmake --install of the Linux library into a
# prefix of its own, then one C program built against it twice, with pkg-config
# and with CMake's find_package(asiochan), run against the installed libraries.
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work/cmake-app"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name libasiochan.so)")
[ -f "$libdir/libasiochan_sim.so" ] || { echo "no libasiochan_sim.so beside libasiochan.so"; exit 1; }
[ -f "$work/prefix/include/asiochan.h" ] || { echo "no header installed"; exit 1; }
cat >"$work/cmake-app/app.c" <<'C'
#include <stdio.h>
#include "asiochan.h"
int main(void) {
    char name[32];
    if (getAsioDriverName(0, name) != ASIOCHAN_OK) return 1;
    printf("%s|%s|%d\n", name, AsiochanErrorText(ASIOCHAN_STREAM_ENDED), IsLxcardInsert());
    return 0;
}
C
expected="asiochan simulated driver|the stream has ended|0"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc "$work/cmake-app/app.c" $(pkg-config --cflags --libs asiochan) -o "$work/app-pkgconfig"
got=$(LD_LIBRARY_PATH="$libdir" "$work/app-pkgconfig")
[ "$got" = "$expected" ] || { echo "pkg-config build printed: $got"; exit 1; }

cat >"$work/cmake-app/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(app C)
find_package(asiochan CONFIG REQUIRED)
add_executable(app app.c)
target_link_libraries(app PRIVATE asiochan::asiochan)
CMAKE
cmake -S "$work/cmake-app" -B "$work/cmake-app/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-app/build" >/dev/null
got=$("$work/cmake-app/build/app")
[ "$got" = "$expected" ] || { echo "find_package build printed: $got"; exit 1; }
echo "installed: libraries, header, pkg-config file and CMake package work"
