#!/bin/sh
# private_jack.sh COMMAND...: runs COMMAND with a JACK of its own. JACK keeps every server's
# shared memory, and the one registry of them all, machine-wide (/dev/shm and a System V
# semaphore), so the servers of two checkouts' tests, or a studio's own server, meet there: two
# suites run side by side once left that state broken, every later server and client on the
# machine dying of SIGBUS. As root, COMMAND runs in a mount and an IPC namespace of its own with
# an empty /dev/shm; where that cannot be had, it runs as it is.
if [ -z "$KRV_PRIVATE_JACK" ] && [ "$(id -u)" = 0 ] &&
    unshare --mount --ipc sh -c 'mount -t tmpfs tmpfs /dev/shm' 2>/dev/null; then
    export KRV_PRIVATE_JACK=1
    exec unshare --mount --ipc sh -c 'mount -t tmpfs tmpfs /dev/shm && exec "$@"' sh "$@"
fi
exec "$@"
