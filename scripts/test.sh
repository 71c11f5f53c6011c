#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, its
# installation and Debian packages, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vok_install_deps
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== installation and Debian packages"
tests/install/install_test.sh build build-deb

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVOK_SANITIZE=ON -DVOK_BUILD_APP=OFF -DVOK_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== fuzz targets, ${VOK_FUZZ_SECONDS:-30} s each"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOK_FUZZ=ON -DVOK_SANITIZE=ON \
  -DVOK_BUILD_APP=OFF -DVOK_BUILD_TESTS=OFF -DVOK_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$jobs"
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="fuzz/corpus/$name"
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  (cd build-fuzz && "../$target" -max_total_time="${VOK_FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -print_final_stats=0 "$work" \
      -artifact_prefix="$PWD/" 2>&1 | tail -n 3)
  rm -rf "$work"
done
echo "all tests and fuzz runs finished"
