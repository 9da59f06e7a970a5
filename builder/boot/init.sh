#!/bin/sh
# The first program of a PC booted into the Kestrelon Client (the initramfs of
# kestrelon-builder). It prepares the ground and leaves the protocol to
# kestrelon-client: load the drivers, get an address by DHCP on every wired
# interface, name the Client, and run kestrelon-client over every fixed disk,
# again whenever it ends. Kernel command line:
#   kestrelon.after=stay|reboot|poweroff   what to do after a successful copy
PATH=/bin:/sbin:/usr/bin:/usr/sbin
export PATH
/bin/busybox mkdir -p /proc /sys /dev /run /tmp /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev 2>/dev/null
mount -t tmpfs tmpfs /run
mkdir -p /run/kestrelon
BOOT_LABEL=KSTRLN-BOOT
STATE=/run/kestrelon

say() { echo "kestrelon: $*"; }

after_copy() {
  for word in $(cat /proc/cmdline); do
    case "$word" in
      kestrelon.after=*) echo "${word#kestrelon.after=}"; return ;;
    esac
  done
  echo stay
}

load_drivers() {
  loaded=0
  while read -r module; do
    insmod "/lib/modules/$module" 2>/dev/null && loaded=$((loaded + 1))
  done </etc/kestrelon/modules
  say "loaded $loaded driver modules"
}

# Ethernet interfaces with hardware behind them (no loopback, bridges or radios).
wired_interfaces() {
  for dir in /sys/class/net/*; do
    [ -e "$dir/device" ] || continue
    [ -e "$dir/wireless" ] || [ -e "$dir/phy80211" ] && continue
    [ "$(cat "$dir/type")" = 1 ] || continue
    echo "${dir##*/}"
  done
}

start_dhcp() {
  waited=0
  while [ -z "$(wired_interfaces)" ] && [ $waited -lt 20 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  for interface in $(wired_interfaces); do
    ip link set "$interface" up
    udhcpc -i "$interface" -s /etc/kestrelon/udhcpc.sh -b -t 5 -T 2 -S >/dev/null 2>&1
  done
}

# The first interface that has an address; empty while none has.
configured_interface() {
  for interface in $(wired_interfaces); do
    [ -s "$STATE/$interface.address" ] && echo "$interface" && return
  done
}

# The DHCP server's host name for this PC, or PC- and the MAC address's last three bytes.
client_name() {
  if [ -s "$STATE/$1.hostname" ]; then
    cut -c1-40 "$STATE/$1.hostname"
    return
  fi
  mac=$(cat "/sys/class/net/$1/address")
  echo "PC-$(echo "$mac" | cut -d: -f4-6 | tr -d : | tr a-f A-F)"
}

# The disk holding the partition labelled $BOOT_LABEL (the USB stick booted from).
boot_medium() {
  findfs "LABEL=$BOOT_LABEL" 2>/dev/null | while read -r device; do
    part=${device##*/}
    if [ -e "/sys/class/block/$part/partition" ]; then
      parent=$(readlink -f "/sys/class/block/$part/..")
      echo "${parent##*/}"
    else
      echo "$part"
    fi
  done
}

# Fixed disks: not removable, not virtual, not empty, not the boot medium.
fixed_disks() {
  medium=" $(boot_medium | tr '\n' ' ') "
  for dir in /sys/block/*; do
    disk=${dir##*/}
    case "$disk" in loop* | ram* | zram* | sr* | fd* | md* | dm-* | nbd*) continue ;; esac
    [ "$(cat "$dir/removable")" = 0 ] || continue
    [ "$(cat "$dir/size")" != 0 ] || continue
    case "$medium" in *" $disk "*) continue ;; esac
    echo "$disk"
  done
}

# Runs kestrelon-client once; true when it ended after a successful copy.
run_client() {
  interface=$1
  name=$(client_name "$interface")
  set --
  for disk in $(fixed_disks); do set -- "$@" --disk "/dev/$disk"; done
  if [ $# -eq 0 ]; then
    say "no fixed disk found; looking again in 5 seconds"
    sleep 5
    return 1
  fi
  [ "$AFTER" = stay ] || set -- "$@" --once
  say "Client $name on $interface ($(cat "$STATE/$interface.address")) with disks: $(fixed_disks | tr '\n' ' ')"
  { kestrelon-client --interface "$interface" --name "$name" --allow-write "$@"; echo $? >"$STATE/status"; } 2>&1 |
    tee "$STATE/client.log"
  # With --once the Client also ends after an upload; only a copy onto the disks counts.
  [ "$(cat "$STATE/status")" = 0 ] && grep -q '^kestrelon-client .*: copy of ".*" complete' "$STATE/client.log"
}

main() {
  AFTER=$(after_copy)
  say "starting the Client (after a copy: $AFTER)"
  load_drivers
  start_dhcp
  waited=0
  while :; do
    interface=$(configured_interface)
    if [ -z "$interface" ]; then
      [ $((waited % 10)) = 0 ] && say "waiting for an address by DHCP on: $(wired_interfaces | tr '\n' ' ')"
      waited=$((waited + 1))
      sleep 1
      continue
    fi
    if run_client "$interface"; then
      sync
      case "$AFTER" in
        reboot) say "copy done: restarting"; reboot -f ;;
        poweroff) say "copy done: switching off"; poweroff -f ;;
      esac
    fi
    sleep 2
  done
}

# Everything this script and the Client say goes to every console the kernel
# was given (the screen and a serial line), not only to the last one.
consoles=""
for console in $(cat /sys/class/tty/console/active 2>/dev/null); do consoles="$consoles /dev/$console"; done
[ -n "$consoles" ] || consoles=/dev/console
main 2>&1 | tee $consoles >/dev/null
# init must never end.
while :; do sleep 3600; done
