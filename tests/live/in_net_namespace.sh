#!/bin/sh
# Runs a command in a network namespace of its own, with only the loopback
# interface up and multicast on it: peers found by multicast meet there
# and nothing is sent on the machine's real interfaces. Exits 77 (skipped)
# when no namespace can be made here.
inner='ip link set lo up && ip link set lo multicast on &&
  ip route add 224.0.0.0/4 dev lo && TRELLON_NET_NAMESPACE=1 exec "$@"'
if ! command -v ip > /dev/null; then
  echo "skipped: iproute2's ip is not installed" >&2
  exit 77
fi
for how in "--net" "--net --map-root-user"; do
  # shellcheck disable=SC2086
  if unshare $how true 2> /dev/null; then
    # shellcheck disable=SC2086
    exec unshare $how sh -c "$inner" sh "$@"
  fi
done
echo "skipped: no network namespace can be made here (unshare --net refused)" >&2
exit 77
