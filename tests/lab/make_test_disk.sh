#!/usr/bin/env bash
# make_test_disk.sh OUT MIB: writes a raw disk image of MIB MiB (at least 64) with
# an MBR partition table: partition 1 ext4, partition 2 FAT32 (LBA), each about
# half full of files of every kind: text that compresses well, random bytes that
# do not, program files, and a tree of small files. Built without mounting:
# mkfs.ext4 -d fills the ext4 file system, mcopy the FAT one. Prints the two
# partitions as "START SECTORS" lines (512-byte sectors).
set -euo pipefail
out=$1
mib=$2
[[ $mib =~ ^[0-9]+$ ]] && [ "$mib" -ge 48 ] || { echo "make_test_disk: MIB must be 48 or more" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Files adding up to about KIB KiB in DIR.
fill() {
  local dir=$1 kib=$2 quarter=$(($2 / 4)) i size
  mkdir -p "$dir/text" "$dir/random" "$dir/programs" "$dir/tree/a/b/c"
  awk -v bytes=$((quarter * 1024)) 'BEGIN {
    for (n = 1; written < bytes; n++) {
      line = "line " n " is text that compresses well, again and again";
      print line;
      written += length(line) + 1;
    }
  }' >"$dir/text/lines.txt"
  head -c $((quarter * 1024)) /dev/urandom >"$dir/random/noise.bin"
  size=0
  for f in /usr/bin/*; do
    [ -f "$f" ] && [ ! -L "$f" ] || continue
    cp "$f" "$dir/programs/"
    size=$((size + $(stat -c %s "$f") / 1024))
    [ "$size" -lt "$quarter" ] || break
  done
  for ((i = 0; i < 200 && i * 6 < quarter; i++)); do
    { seq 1 $((i * 7 + 50)); head -c $((i * 13 % 4096 + 100)) /dev/urandom; } >"$dir/tree/a/b/c/file$i.dat"
  done
}

sectors=$((mib * 2048))
usable=$((sectors - 2048))
fat=$((usable * 45 / 100))
# FAT32 needs 65525 clusters or more: with one-sector clusters, 36 MiB is enough.
[ "$fat" -ge $((36 * 2048)) ] || fat=$((36 * 2048))
ext=$((usable - fat))
fat_start=$((2048 + ext))

truncate -s "${mib}M" "$out"
sfdisk -q "$out" >/dev/null <<TABLE
label: dos
start=2048, size=$ext, type=83
start=$fat_start, size=$fat, type=c
TABLE

fill "$work/ext" $((ext / 2 / 2 - 1024))
truncate -s $((ext * 512)) "$work/ext.img"
mkfs.ext4 -q -F -d "$work/ext" -L kestrelon-ext "$work/ext.img"

fill "$work/fat" $((fat / 2 / 2 - 1024))
truncate -s $((fat * 512)) "$work/fat.img"
mkfs.vfat -F 32 -s 1 -n KESTRELON "$work/fat.img" >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i "$work/fat.img" "$work/fat/text" "$work/fat/random" "$work/fat/programs" \
  "$work/fat/tree" ::/

dd if="$work/ext.img" of="$out" bs=512 seek=2048 conv=notrunc,sparse status=none
dd if="$work/fat.img" of="$out" bs=512 seek="$fat_start" conv=notrunc,sparse status=none
echo "2048 $ext"
echo "$fat_start $fat"
