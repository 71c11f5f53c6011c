#!/usr/bin/env bash
# Builds the Debian packages (libvokl1, libvokl-dev, vokcli, vok) in a tree of
# their own, installed to /usr, with Debian's hardening flags.
#
#   packaging/build-deb.sh [BUILD_DIR]      (default: build-deb)
#
# The .deb files are left in BUILD_DIR.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build-deb}"

# The flags Debian builds its packages with (dpkg-buildflags, all hardening),
# given to CMake on every run so that a tree configured before gets them too.
# -fno-ident keeps the compiler's name out of the binaries.
eval "$(cd "$source_dir" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVOK_BUILD_TESTS=OFF -DVOK_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS -fno-ident" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS -fno-ident" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
