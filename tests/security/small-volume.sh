#!/bin/sh
# A 1 MiB volume for the shield's fault tests (a disk that fills during Turn on), mounted as tmpfs
# where the tests run as root; elsewhere the tests fall back to a file-writing substitute. Never
# fails: a volume that cannot be made is the fallback's case.
#   small-volume.sh mount|umount <folder>
action=$1
folder=$2
case "$action" in
  mount)
    mkdir -p "$folder" 2>/dev/null || exit 0
    if mountpoint -q "$folder" 2>/dev/null; then umount "$folder" 2>/dev/null; fi
    if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=1m,mode=1777 tmpfs "$folder" 2>/dev/null; then
      touch "$folder/.small-volume"
    fi
    ;;
  umount)
    if mountpoint -q "$folder" 2>/dev/null; then umount "$folder" 2>/dev/null; fi
    rmdir "$folder" 2>/dev/null
    ;;
esac
exit 0
