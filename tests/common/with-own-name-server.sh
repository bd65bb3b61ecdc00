#!/bin/sh
# with-own-name-server.sh RESOLV_CONF PROGRAM [ARGS...]
# Runs a test in a network of its own, loopback only, so that nothing it sends leaves this machine, where the
# name server is 127.0.0.1:53 (RESOLV_CONF): the test listens there itself and decides whether a lookup is
# answered. ZT_OWN_NAME_SERVER=1 tells it so. Where namespaces cannot be made, it runs as it is, without.
resolv=$1
shift
PATH=$PATH:/usr/sbin:/sbin
export PATH
if unshare --user --map-root-user --net --mount true 2>/dev/null; then
    exec unshare --user --map-root-user --net --mount sh -c \
        'ip link set lo up && mount --bind "$0" /etc/resolv.conf && ZT_OWN_NAME_SERVER=1 exec "$@"' "$resolv" "$@"
fi
exec "$@"
