#!/usr/bin/env bash
# Makes the disk of a PC with Debian's installer's default layout and a small
# system that boots from it: partition 1 ext4 (active) holding extlinux, a
# kernel and an initramfs, then an extended partition at the end holding swap
# (make_pc_disk.sh debian), syslinux's MBR boot code in front.
#   make_debian_disk.sh DISK SIZE_MIB KERNEL INITRD
set -euo pipefail
disk=$1 size=$2 kernel=$3 initrd=$4
here=$(cd "$(dirname "$0")" && pwd)
mnt=$(mktemp -d)
loop=
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  [ -n "$loop" ] && losetup -d "$loop"
  rmdir "$mnt"
}
trap cleanup EXIT

rm -f "$disk"
"$here/../lab/make_pc_disk.sh" debian "$disk" "$size"
start=$(sfdisk -d "$disk" | awk -F'[=,]' '/start=/ {print $2 + 0; exit}')
sectors=$(sfdisk -d "$disk" | awk -F'[=,]' '/start=/ {print $4 + 0; exit}')
loop=$(losetup -f --show -o $((start * 512)) --sizelimit $((sectors * 512)) "$disk")
mount "$loop" "$mnt"
mkdir -p "$mnt/boot/extlinux"
cp "$kernel" "$mnt/boot/vmlinuz"
cp "$initrd" "$mnt/boot/initrd.img"
cat >"$mnt/boot/extlinux/extlinux.conf" <<CFG
DEFAULT debian
PROMPT 0
TIMEOUT 0
LABEL debian
  KERNEL /boot/vmlinuz
  INITRD /boot/initrd.img
  APPEND console=ttyS0,115200 quiet no_timer_check
CFG
extlinux --install "$mnt/boot/extlinux" >/dev/null 2>&1
umount "$mnt"
dd if=/usr/lib/syslinux/mbr/mbr.bin of="$disk" bs=440 count=1 conv=notrunc status=none
