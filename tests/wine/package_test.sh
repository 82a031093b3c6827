#!/usr/bin/env bash
# The packaged folder of this build (build/<preset>/dist/asiochan) used as applications
# use it: package/package_app.c built against it runs under Wine against the simulated
# driver. Debian has no MSVC C runtime, so the MSVC-style builds link none
# (package_app_entry is the entry point, kernel32 comes from MinGW's import library).
#
#   package_test.sh <how> <prefix> <package> <x86|x64> <kernel32-import-library> <mingw-toolchain-file>
#     how: msvc         clang in MSVC mode, then lld-link against asiochan.lib, as Visual Studio builds it
#          cmake-mingw  a CMake project that finds the package, with MinGW: libasiochan.dll.a
#          cmake-msvc   the same project with clang in MSVC mode: asiochan.lib
set -euo pipefail
how="$1"
prefix="$2"
package="$(cd "$3" && pwd)"
arch="$4"
kernel32="$5"
mingw_toolchain="$6"
here="$(cd "$(dirname "$0")" && pwd)"
fixture="$here/../../scripts/wine-fixture.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/asiochan-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

for tool in clang lld-link llvm-ar; do
    [ "$how" = cmake-mingw ] || command -v $tool >/dev/null ||
        { echo "FAIL: $tool is not installed (scripts/bootstrap.sh --tests installs it)"; exit 1; }
done
if [ "$arch" = x64 ]; then
    target=x86_64-pc-windows-msvc
    msvc_link=(/machine:x64)
else
    target=i686-pc-windows-msvc
    # MinGW's import objects carry no safe exception handler table marker.
    msvc_link=(/machine:x86 /safeseh:no)
fi
msvc_link+=(/nodefaultlib /subsystem:console /entry:package_app_entry)

consumer() {  # toolchain-file, import library the package must pick
    cmake -S "$here/package" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$(dirname "$package")" \
        -DASIOCHAN_EXPECTED_IMPLIB="$2" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
    cmake --build "$work/build"
    app="$work/build/package_app.exe"
}

case "$how" in
    msvc)
        clang --target=$target -ffreestanding -O2 -Wall -Wextra -Werror -I "$package" \
            -c "$here/package/package_app.c" -o "$work/package_app.obj"
        lld-link /nologo "${msvc_link[@]}" /out:"$work/package_app.exe" "$work/package_app.obj" \
            "$package/$arch/asiochan.lib" "$kernel32"
        cp "$package/$arch/asiochan.dll" "$work/"
        app="$work/package_app.exe"
        ;;
    cmake-mingw)
        consumer "$mingw_toolchain" libasiochan.dll.a ;;
    cmake-msvc)
        cat >"$work/clang-msvc.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET $target)
set(CMAKE_AR llvm-ar)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT -ffreestanding)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib $(printf -- '-Xlinker %s ' "${msvc_link[@]}")")
set(CMAKE_C_STANDARD_LIBRARIES "$kernel32")
EOF
        consumer "$work/clang-msvc.cmake" asiochan.lib ;;
    *) echo "package_test.sh: unknown way to build: $how" >&2; exit 2 ;;
esac

"$fixture" run "$prefix" "$app" >"$work/output.txt" 2>&1 && code=0 || code=$?
tr -d '\r' <"$work/output.txt"
[ "$code" = 0 ] && grep -q "^RESULT: PASS" "$work/output.txt" ||
    { echo "FAIL: the application built by $how exited with $code"; exit 1; }
