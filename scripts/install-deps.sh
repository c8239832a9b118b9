#!/usr/bin/env bash
# Installs what the build and every test need, skipping what is already
# there: compilers, CMake, Ninja, GoogleTest, Google Benchmark, zlib, the
# sanitizer runtime and binutils. Shared by `make test` and CI. Without root
# (and without sudo) it only names what is missing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
have_cmd clang++ || need+=(clang)
have_cmd nm || need+=(binutils)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)  # kernel-layout reads gzip-compressed kernels
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.asan-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)

[ ${#need[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif have_cmd sudo && sudo -n true 2>/dev/null; then
  SUDO="sudo"
else
  echo "missing packages (install them as root): ${need[*]}" >&2
  exit 1
fi
echo "installing: ${need[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${need[@]}"
