#!/usr/bin/env bash
# Makes the disk of a small bootable system: an MBR with syslinux's boot code,
# one active FAT16 partition holding syslinux, a kernel, an initramfs that
# prints a marker line on the serial console and powers off, and some files.
#   make_marker_disk.sh DISK SIZE_MIB KERNEL INITRD
set -euo pipefail
disk=$1 size=$2 kernel=$3 initrd=$4
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -f "$disk"
truncate -s "${size}M" "$disk"
echo 'start=2048, type=e, bootable' | sfdisk --quiet "$disk"
dd if=/usr/lib/syslinux/mbr/mbr.bin of="$disk" bs=440 count=1 conv=notrunc status=none
mkfs.vfat --offset 2048 -F 16 -n MARKER "$disk" >/dev/null
part="$disk@@1M"
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
# Some files of the system, with contents a copy must carry over exactly.
mmd -i "$part" ::/data
for i in 1 2 3; do
  head -c $((i * 300000)) /dev/urandom >"$work/file$i.bin"
  mcopy -i "$part" "$work/file$i.bin" "::/data/file$i.bin"
done
syslinux --offset $((2048 * 512)) --install "$disk"
