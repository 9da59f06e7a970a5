#!/usr/bin/env bash
# Makes the disk of a small bootable system: an MBR with syslinux's boot code,
# one active FAT16 partition holding syslinux (for BIOS, and as EFI/BOOT for
# UEFI), a kernel, an initramfs that prints a marker line on the serial console
# and powers off, and some files. With SYSTEM_MIB, partition 2 is an ext4 root
# of that size holding a Linux system's /etc (os-release, hostname, hosts,
# machine-id) for the initramfs to read its name from.
#   make_marker_disk.sh DISK SIZE_MIB KERNEL INITRD [SYSTEM_MIB]
set -euo pipefail
disk=$1 size=$2 kernel=$3 initrd=$4 system=${5:-0}
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -f "$disk"
truncate -s "${size}M" "$disk"
if [ "$system" -gt 0 ]; then
  fat_sectors=$(((size - system - 1) * 2048))
  printf 'start=2048, size=%d, type=e, bootable\nstart=%d, type=83\n' "$fat_sectors" $((2048 + fat_sectors)) |
    sfdisk --quiet "$disk"
else
  echo 'start=2048, type=e, bootable' | sfdisk --quiet "$disk"
fi
dd if=/usr/lib/syslinux/mbr/mbr.bin of="$disk" bs=440 count=1 conv=notrunc status=none
part="$disk@@1M"
if [ "$system" -gt 0 ]; then
  truncate -s $((fat_sectors * 512)) "$work/fat.img"
  mkfs.vfat -F 16 -n MARKER "$work/fat.img" >/dev/null
  dd if="$work/fat.img" of="$disk" bs=512 seek=2048 conv=notrunc status=none
else
  mkfs.vfat --offset 2048 -F 16 -n MARKER "$disk" >/dev/null
fi
cat >"$work/syslinux.cfg" <<CFG
DEFAULT marker
PROMPT 0
TIMEOUT 0
LABEL marker
  KERNEL /vmlinuz
  INITRD /initrd.img
  APPEND console=ttyS0,115200 quiet no_timer_check
CFG
mcopy -i "$part" "$kernel" ::/vmlinuz
mcopy -i "$part" "$initrd" ::/initrd.img
mcopy -i "$part" "$work/syslinux.cfg" ::/syslinux.cfg
# The UEFI half, as the client builder's USB image has it.
mmd -i "$part" ::/EFI ::/EFI/BOOT
mcopy -i "$part" /usr/lib/SYSLINUX.EFI/efi64/syslinux.efi ::/EFI/BOOT/BOOTX64.EFI
mcopy -i "$part" /usr/lib/syslinux/modules/efi64/ldlinux.e64 ::/EFI/BOOT/ldlinux.e64
mcopy -i "$part" "$work/syslinux.cfg" ::/EFI/BOOT/syslinux.cfg
# Some files of the system, with contents a copy must carry over exactly.
mmd -i "$part" ::/data
for i in 1 2 3; do
  head -c $((i * 300000)) /dev/urandom >"$work/file$i.bin"
  mcopy -i "$part" "$work/file$i.bin" "::/data/file$i.bin"
done
syslinux --offset $((2048 * 512)) --install "$disk"

if [ "$system" -gt 0 ]; then
  mkdir -p "$work/root/etc"
  printf 'PRETTY_NAME="Kestrelon test system"\nID=kestrelon-test\n' >"$work/root/etc/os-release"
  echo master-pc >"$work/root/etc/hostname"
  printf '127.0.0.1\tlocalhost\n127.0.1.1\tmaster-pc\n' >"$work/root/etc/hosts"
  echo 0123456789abcdef0123456789abcdef >"$work/root/etc/machine-id"
  truncate -s $(((system * 2048 - 2048) * 512)) "$work/root.img"
  mkfs.ext4 -q -F -d "$work/root" -L system "$work/root.img"
  dd if="$work/root.img" of="$disk" bs=512 seek=$((2048 + fat_sectors)) conv=notrunc status=none
fi
