#!/usr/bin/env bash
# Builds the arm64 guest that qemuhost traces: Debian's current arm64 cloud
# kernel and an initramfs whose /init runs a small workload and reports on the
# console, between marker lines, what it did (pids and names of the processes
# it started, files opened, programs executed, the dash process's memory map).
# The host checks the capture against that report.
#
# Usage: fetch-arm64-target.sh DIR
# Prints two lines: the kernel Image and the initramfs. Running it again
# reuses the downloaded packages and rebuilds the initramfs only when this
# script changed. Needs root the first time if this machine's dpkg does not
# know the arm64 architecture yet.
set -euo pipefail

dir=${1:?usage: fetch-arm64-target.sh DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

say() { echo "fetch-arm64-target: $*" >&2; }

for tool in apt-get dpkg-deb cpio gzip; do
  command -v "$tool" >/dev/null 2>&1 || { say "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done

if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  if [ "$(id -u)" -ne 0 ]; then
    say "dpkg does not know arm64: run 'dpkg --add-architecture arm64 && apt-get update' as root"
    exit 1
  fi
  dpkg --add-architecture arm64
  apt-get update -q >&2
fi
if ! apt-cache show busybox-static:arm64 >/dev/null 2>&1; then
  [ "$(id -u)" -eq 0 ] || { say "no arm64 package lists: run 'apt-get update' as root"; exit 1; }
  apt-get update -q >&2
fi

# The kernel package the cloud metapackage points at today.
kernel=$(apt-cache depends linux-image-cloud-arm64:arm64 |
         awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
kernel=${kernel%:arm64}
[ -n "$kernel" ] || { say "linux-image-cloud-arm64:arm64 names no kernel package"; exit 1; }

debs=$dir/debs
mkdir -p "$debs"
for package in "$kernel" busybox-static dash libc6; do
  if ! ls "$debs/${package}_"*_arm64.deb >/dev/null 2>&1; then
    (cd "$debs" && apt-get download -q -o APT::Sandbox::User=root "$package:arm64" >&2)
  fi
done
deb_of() { ls "$debs/${1}_"*_arm64.deb | sort | tail -1; }

unpacked=$dir/unpacked
stamp=$unpacked/.from
wanted=$(for p in "$kernel" busybox-static dash libc6; do basename "$(deb_of "$p")"; done | tr '\n' ' ')
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$wanted" ]; then
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  for p in "$kernel" busybox-static dash libc6; do dpkg-deb -x "$(deb_of "$p")" "$unpacked"; done
  echo "$wanted" >"$stamp"
fi

vmlinuz=$(ls "$unpacked"/boot/vmlinuz-* | head -1)
if ! file -b "$vmlinuz" | grep -q 'ARM64.*boot executable Image'; then
  say "$vmlinuz is not an uncompressed arm64 Image: $(file -b "$vmlinuz")"
  exit 1
fi
ln -sf "$vmlinuz" "$dir/Image"

initrd=$dir/initrd.gz
if [ ! -f "$initrd" ] || [ "$self" -nt "$initrd" ] || [ "$stamp" -nt "$initrd" ]; then
  root=$dir/initramfs
  rm -rf "$root"
  mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,lib,lib64}
  cp "$unpacked/bin/busybox" "$root/bin/busybox"
  cp "$unpacked/bin/dash" "$root/bin/dash"
  # dash is the one dynamically linked program: its loader and libc.
  libdir=$(dirname "$(find "$unpacked" -name 'libc.so.6' | head -1)")
  loader=$(find "$unpacked" -name 'ld-linux-aarch64.so.1' -type f | head -1)
  mkdir -p "$root/lib/aarch64-linux-gnu"
  cp "$libdir/libc.so.6" "$root/lib/aarch64-linux-gnu/"
  cp "$loader" "$root/lib/aarch64-linux-gnu/ld-linux-aarch64.so.1"
  ln -s aarch64-linux-gnu/ld-linux-aarch64.so.1 "$root/lib/ld-linux-aarch64.so.1"
  echo "vantric guest" >"$root/etc/hostname"
  printf 'first line\nsecond line\n' >"$root/etc/motd"

  # Marker lines start with "@@VTQ "; the host reads nothing else. Each
  # child reports its pid, name, program and files, then becomes the program.
  # Most programs open the gate first, a FIFO the parent opens for writing
  # only later, so that each sleeps once under its new name and the host
  # sees it switched in as such.
  cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
exec 0</dev/console 1>/dev/console 2>&1
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mark() { echo "@@VTQ $*"; }
grep -E ' (__switch_to|release_task)$' /proc/kallsyms | while read -r address type name; do
  mark kallsyms "$address" "$type" "$name"
done
# The host answers with a line once its breakpoints are set.
mark ready
read -r answer
mark begin

gate=/tmp/gate
mkfifo $gate
start() {
  sh -c 'echo "@@VTQ process $$ $0"; echo "@@VTQ exec $$ $1"
         for f in "$@"; do [ "$f" = "$1" ] || [ ! -e "$f" ] || echo "@@VTQ open $$ $f"; done
         exec "$@"' "$@" &
}
open_gate() { sleep 0.5; echo go >$gate; }

start cat /bin/cat $gate /etc/hostname /etc/motd /proc/version; open_gate; wait
start head /bin/head -n 1 $gate /etc/motd; open_gate; wait
start ls /bin/ls -l /bin /etc; wait
sh -c 'echo "@@VTQ process $$ sh"; echo "@@VTQ open $$ '$gate'"; read -r x <'$gate &
open_gate; wait
cat >/tmp/work.sh <<'SCRIPT'
read -r go </tmp/gate
while read -r line; do echo "@@VTQ maps $$ $line"; done </proc/$$/maps
i=0
while [ $i -lt 30000 ]; do i=$((i + 1)); done
read -r host </etc/hostname
echo "@@VTQ dash-done $$ $i $host"
SCRIPT
start dash /bin/dash /tmp/work.sh; open_gate; wait
start sleep /bin/sleep 1; wait
mark end
poweroff -f
EOF
  chmod 755 "$root/init"
  (cd "$root" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet | gzip -9n) >"$initrd.partial"
  mv "$initrd.partial" "$initrd"
fi

echo "$dir/Image"
echo "$initrd"
