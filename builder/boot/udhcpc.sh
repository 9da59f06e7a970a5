#!/bin/sh
# busybox udhcpc's event script in the Client's initramfs: applies a lease to
# its interface and leaves the address and the host name the server gave for
# init (/run/kestrelon/INTERFACE.address, .hostname).
STATE=/run/kestrelon
case "$1" in
  deconfig)
    ip -4 addr flush dev "$interface"
    ip link set "$interface" up
    rm -f "$STATE/$interface.address" "$STATE/$interface.hostname"
    ;;
  bound | renew)
    ip -4 addr flush dev "$interface"
    ip addr add "$ip/${mask:-24}" ${broadcast:+broadcast "$broadcast"} dev "$interface"
    if [ -n "$router" ]; then
      ip route del default dev "$interface" 2>/dev/null
      for gateway in $router; do
        ip route add default via "$gateway" dev "$interface" && break
      done
    fi
    [ -n "$hostname" ] && echo "$hostname" >"$STATE/$interface.hostname"
    echo "$ip" >"$STATE/$interface.address"
    ;;
esac
exit 0
