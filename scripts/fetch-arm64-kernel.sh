#!/usr/bin/env bash
# Downloads Debian's arm64 cloud kernel into DIR and prints the path of its
# kernel image (boot/vmlinuz-*), for checking kernel-layout on a real build.
# Nothing is installed: the package is only unpacked below DIR. Running it
# again reuses what is there.
#
# Usage: fetch-arm64-kernel.sh DIR [SUITE [PACKAGE]]
#   SUITE    Debian release to take the kernel from (default: this machine's,
#            e.g. bookworm; bullseye gives a 5.10 kernel)
#   PACKAGE  kernel package (default: what linux-image-cloud-arm64 depends on)
#
# The suite's package lists live in DIR/apt-SUITE, apart from the machine's
# own apt state; the mirrors are the ones this machine's apt already uses.
set -euo pipefail

dir=${1:?usage: fetch-arm64-kernel.sh DIR [SUITE [PACKAGE]]}
own_suite=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
suite=${2:-$own_suite}
package=${3:-}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# This machine's Debian mirror and security mirror.
targets=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | sort -u)
main_uri=$(awk -v s="$own_suite" '$2 == s { print $1; exit }' <<<"$targets")
security_uri=$(awk -v s="$own_suite-security" '$2 == s { print $1; exit }' <<<"$targets")
if [ -z "$main_uri" ]; then
  echo "fetch-arm64-kernel: no apt source for $own_suite on this machine (run apt-get update)" >&2
  exit 1
fi

apt_dir=$dir/apt-$suite
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
{
  echo "deb [arch=arm64] $main_uri $suite main"
  [ -n "$security_uri" ] && echo "deb [arch=arm64] $security_uri $suite-security main"
} >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "Dir::State::Status=/dev/null" -o "APT::Architecture=arm64"
             -o "APT::Architectures::=arm64" -o "Debug::NoLocking=1"
             -o "APT::Sandbox::User=root")
if [ -z "$(ls "$apt_dir/lists" | grep -v partial || true)" ]; then
  apt-get "${apt_options[@]}" -q update >&2
fi

if [ -z "$package" ]; then
  package=$(apt-cache "${apt_options[@]}" depends linux-image-cloud-arm64 |
            awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
  package=${package%:arm64}
  if [ -z "$package" ]; then
    echo "fetch-arm64-kernel: linux-image-cloud-arm64 names no kernel package in $suite" >&2
    exit 1
  fi
fi

unpacked=$dir/$package
if ! ls "$unpacked"/boot/vmlinuz-* >/dev/null 2>&1; then
  (cd "$dir" && apt-get "${apt_options[@]}" -q download "$package:arm64" >&2)
  deb=$(ls "$dir/${package}_"*_arm64.deb | head -1)
  rm -rf "$unpacked.partial"
  dpkg-deb -x "$deb" "$unpacked.partial"
  mv "$unpacked.partial" "$unpacked"
fi
ls "$unpacked"/boot/vmlinuz-* | head -1
