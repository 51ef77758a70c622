#!/usr/bin/env bash
# The Windows program: cross-built with mingw-w64 and tested under wine on a virtual display.
#   tools/windows.sh [BUILD_DIR]    (default build-win)
# GLEW (from Debian's source package) and GoogleTest are built once and kept in the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${1:-build-win}")
deps=$build/deps
triplet=x86_64-w64-mingw32
started=$(date +%s)

packages=(
  cmake ninja-build g++-mingw-w64-x86-64-win32 libz-mingw-w64-dev libgtest-dev dpkg-dev
  wine wine64 xvfb xdotool x11-apps x11-utils python3 g++ libx11-dev libxcomposite-dev
  libgl1 libglx-mesa0 libgl1-mesa-dri libxrandr2 libxinerama1 libxcursor1 libxi6 libxcomposite1
  libxrender1 libxxf86vm1 libxfixes3
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  # Wine's recommendations would pull in a desktop; the X and GL libraries it needs are listed.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

mkdir -p "$build" "$deps"

# GLEW: Debian's source package through a private source list, so the system's apt
# configuration stays as it is. apt checks the files against the signed index, dpkg-source
# against the .dsc.
build_glew()
{
  local apt=$build/glew-apt
  local src=$build/glew-src
  rm -rf "$apt" "$src"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$src"
  local uri codename
  uri=$(sed -n 's/^URIs:[[:space:]]*\(.*debian\/\?\)[[:space:]]*$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -v security | head -n 1 || true)
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $2 !~ /security/ && $2 ~ /debian/ { print $2; exit }' /etc/apt/sources.list)
  fi
  uri=${uri:-http://deb.debian.org/debian}
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $codename main" >"$apt/sources.list"
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
  apt-get "${options[@]}" update -q
  (cd "$src" && apt-get "${options[@]}" source -q glew)
  local dir
  dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'glew-*' | head -n 1)
  [ -f "$dir/src/glew.c" ] || { echo "GLEW source not found" >&2; return 1; }
  mkdir -p "$deps/include/GL" "$deps/lib/cmake/glew"
  "$triplet-gcc-win32" -O2 -DGLEW_STATIC -I"$dir/include" -c "$dir/src/glew.c" -o "$src/glew.o"
  "$triplet-ar" rcs "$deps/lib/libglew32.a" "$src/glew.o"
  cp "$dir"/include/GL/*.h "$deps/include/GL/"
  cat >"$deps/lib/cmake/glew/glew-config.cmake" <<'CMAKE'
# Static GLEW for the cross build.
get_filename_component(_glew_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET GLEW::GLEW)
  add_library(GLEW::GLEW STATIC IMPORTED)
  set_target_properties(GLEW::GLEW PROPERTIES
    IMPORTED_CONFIGURATIONS RELEASE
    IMPORTED_LOCATION_RELEASE "${_glew_prefix}/lib/libglew32.a"
    IMPORTED_LOCATION "${_glew_prefix}/lib/libglew32.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_glew_prefix}/include"
    INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC
    INTERFACE_LINK_LIBRARIES opengl32)
endif()
set(GLEW_FOUND TRUE)
CMAKE
  rm -rf "$apt"
}
[ -f "$deps/lib/libglew32.a" ] && [ -f "$deps/lib/cmake/glew/glew-config.cmake" ] || build_glew

# GoogleTest from the sources that libgtest-dev ships, with a port header for the compiler's
# Win32 thread model.
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  rm -rf "$build/gtest-src"
  cp -r /usr/src/googletest "$build/gtest-src"
  cp cmake/mingw-gtest-port.h "$build/gtest-src/googletest/include/gtest/internal/custom/gtest-port.h"
  cmake -S "$build/gtest-src" -B "$build/gtest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=ON
  cmake --build "$build/gtest" -j 2
  cmake --install "$build/gtest"
fi

cmake -S . -B "$build/vornscr" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG -DVORNSCR_CHECK_GL" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DGLEW_DIR="$deps/lib/cmake/glew" -DGTest_DIR="$deps/lib/cmake/GTest" -DVORNSCR_BENCH=OFF \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
cmake --build "$build/vornscr" -j 2
built=$(date +%s)

tests/e2e/wine.sh "$build/vornscr" "$build/wine"
echo "Windows part: $((built - started)) s to install and build, $(($(date +%s) - built)) s of tests under wine"
