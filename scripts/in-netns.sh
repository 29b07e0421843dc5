#!/bin/sh
# Runs a command in private user, network and mount namespaces: loopback is
# the only interface (brought up here), /etc/hosts maps the test target host to
# 127.0.0.1 and /etc/resolv.conf points at loopback. Servers of the command
# may bind 127.0.0.x:80 without privileges, and no packet and no name lookup
# ever leaves the machine.
set -eu
netns_dir=$(cd "$(dirname "$0")/../tests/support/netns" && pwd)
exec unshare --user --map-root-user --net --mount sh -c '
    PATH="$PATH:/usr/sbin:/sbin"
    ip link set lo up
    mount --bind "$0/hosts" /etc/hosts
    mount --bind "$0/resolv.conf" /etc/resolv.conf
    exec "$@"' "$netns_dir" "$@"
