#!/usr/bin/env bash
# make_pc_disk.sh LAYOUT OUT MIB: writes a raw disk image of MIB MiB (at least
# 48) laid out as a PC's disk, its file systems holding files (made without
# mounting: mkfs.ext4 -d, mcopy, ntfscp):
#   mbr-ext4  MBR: 1 FAT16 (8 MiB, active), 2 ext4 (the rest)
#   ntfs      MBR: 1 NTFS (the whole disk)
#   gpt       GPT: 1 EFI system (FAT16, 8 MiB), 2 Microsoft basic data (FAT16,
#             8 MiB), 3 Linux (ext4, the rest)
#   debian    MBR as Debian's installer lays a disk out: 1 ext4 (active, the
#             rest), 2 extended at the end holding 5 swap (16 MiB, labelled
#             DEBSWAP, UUID 0d1e2f30-4152-6374-8596-a7b8c9d0e1f2)
#   gpt-swap  GPT: 1 EFI system (FAT16, 8 MiB), 2 Linux (ext4), 3 Linux swap
#             (16 MiB, as above) at the end
#   fat       MBR: 1 FAT16 labelled PCDATA (the whole disk)
#   boot      the same labelled KSTRLN-BOOT (the client builder's USB stick)
set -euo pipefail
layout=$1
out=$2
mib=$3
[[ $mib =~ ^[0-9]+$ ]] && [ "$mib" -ge 48 ] || { echo "make_pc_disk: MIB must be 48 or more" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fill() {
  mkdir -p "$1/docs/notes" "$1/bin"
  seq 1 40000 >"$1/docs/numbers.txt"
  for i in $(seq 1 30); do seq "$i" 7 $((i * 900)) >"$1/docs/notes/note$i.txt"; done
  head -c $((2 * 1024 * 1024)) /dev/urandom >"$1/bin/noise.bin"
  cp /usr/bin/env "$1/bin/"
}
place() {  # place IMAGE START: writes a file system image at sector START
  dd if="$1" of="$out" bs=512 seek="$2" conv=notrunc,sparse status=none
}
fat16() {  # fat16 SECTORS LABEL START (at least 8 MiB)
  local img=$work/fat$3.img cluster=1
  while [ $(($1 / cluster)) -gt 60000 ]; do cluster=$((cluster * 2)); done
  truncate -s $(($1 * 512)) "$img"
  mkfs.vfat -F 16 -s "$cluster" -n "$2" "$img" >/dev/null
  fill "$work/fat$3"
  MTOOLS_SKIP_CHECK=1 mcopy -s -i "$img" "$work/fat$3/docs" ::/
  place "$img" "$3"
}
ext4() {  # ext4 SECTORS START
  local img=$work/ext$2.img
  fill "$work/ext$2"
  truncate -s $(($1 * 512)) "$img"
  mkfs.ext4 -q -F -d "$work/ext$2" -L kestrelon "$img"
  place "$img" "$2"
}
swap() {  # swap SECTORS START
  local img=$work/swap.img
  truncate -s $(($1 * 512)) "$img"
  mkswap -q -L DEBSWAP -U 0d1e2f30-4152-6374-8596-a7b8c9d0e1f2 "$img" >/dev/null
  place "$img" "$2"
}
ntfs() {  # ntfs SECTORS START
  local img=$work/ntfs.img
  fill "$work/ntfs"
  truncate -s $(($1 * 512)) "$img"
  mkntfs -q -F -Q -p "$2" -H 255 -S 63 -L KESTRELON "$img" 2>/dev/null
  ntfscp "$img" "$work/ntfs/docs/numbers.txt" /numbers.txt
  ntfscp "$img" "$work/ntfs/bin/noise.bin" /noise.bin
  place "$img" "$2"
}

sectors=$((mib * 2048))
truncate -s "${mib}M" "$out"
case $layout in
  mbr-ext4)
    printf 'label: dos\nstart=2048, size=16384, type=e, bootable\nstart=18432, type=83\n' | sfdisk -q "$out"
    fat16 16384 PCBOOT 2048
    ext4 $((sectors - 18432)) 18432
    ;;
  ntfs)
    printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q "$out"
    ntfs $((sectors - 2048)) 2048
    ;;
  gpt)
    sgdisk -n 1:2048:+8M -t 1:ef00 -n 2:0:+8M -t 2:0700 -n 3:0:0 -t 3:8300 "$out" >/dev/null 2>&1
    fat16 16384 EFI 2048
    fat16 16384 DATA 18432
    last=$(sgdisk -i 3 "$out" | awk '/Last sector/ {print $3}')
    ext4 $((last - 34816 + 1)) 34816
    ;;
  debian)
    swap_at=$((sectors - 32768))
    printf 'label: dos\nstart=2048, size=%d, type=83, bootable\nstart=%d, type=5\nstart=%d, size=32768, type=82\n' \
      $((swap_at - 2048 - 2048)) $((swap_at - 2048)) "$swap_at" | sfdisk -q "$out"
    ext4 $((swap_at - 2048 - 2048)) 2048
    swap 32768 "$swap_at"
    ;;
  gpt-swap)
    sgdisk -n 1:2048:+8M -t 1:ef00 -n 2:0:-16M -t 2:8300 -n 3:0:0 -t 3:8200 "$out" >/dev/null 2>&1
    fat16 16384 EFI 2048
    last=$(sgdisk -i 2 "$out" | awk '/Last sector/ {print $3}')
    ext4 $((last - 18432 + 1)) 18432
    swap_at=$(sgdisk -i 3 "$out" | awk '/First sector/ {print $3}')
    swap_end=$(sgdisk -i 3 "$out" | awk '/Last sector/ {print $3}')
    swap $((swap_end - swap_at + 1)) "$swap_at"
    ;;
  fat | boot)
    printf 'label: dos\nstart=2048, type=e, bootable\n' | sfdisk -q "$out"
    label=PCDATA
    [ "$layout" = fat ] || label=KSTRLN-BOOT
    fat16 $((sectors - 2048)) "$label" 2048
    ;;
  *)
    echo "make_pc_disk: unknown layout $layout" >&2
    exit 2
    ;;
esac
