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
[ -f /usr/include/elfutils/libdw.h ] || need+=(libdw-dev)  # rcf export names user frames
[ -f /usr/include/libelf.h ] || need+=(libelf-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)  # the rcf command line
# The browser test loads rcf's speedscope exports in speedscope (from npm).
have_cmd chromium || need+=(chromium)
have_cmd node || need+=(nodejs)
have_cmd npm || need+=(npm)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.asan-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)
# qemuhost's end-to-end test: QEMU, and what builds its guest.
have_cmd qemu-system-aarch64 || need+=(qemu-system-arm)
have_cmd cpio || need+=(cpio)
have_cmd file || need+=(file)

# The guest for that test, in the cache directory the test looks in. Without
# root (dpkg may need the arm64 architecture) or network the test is skipped.
fetch_guest() {
  local target=${VT_QEMU_TARGET:-$HOME/.cache/vantric-arm64-target}
  "$(dirname "$0")/fetch-arm64-target.sh" "$target" >/dev/null ||
    echo "install-deps: no QEMU guest fetched; qemuhost_guest_verify will be skipped" >&2
}

if [ ${#need[@]} -eq 0 ]; then
  fetch_guest
  exit 0
fi
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
fetch_guest
