#!/bin/busybox sh
# The kernel test's guest: loads the USB storage stack, waits for the disks, mounts each one and
# runs the probe. Every line for the harness starts with "@@ ".
/bin/busybox mkdir -p /usr/bin /sbin /usr/sbin
/bin/busybox --install -s
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
echo "@@ boot $(cut -d' ' -f1 /proc/uptime)"

while read -r module options; do
  insmod "/lib/modules/$module.ko" $options || echo "@@ insmod-failed $module"
done < /lib/modules/order

expected=$(sed -n 's/.*tavrin\.disks=\([0-9]*\).*/\1/p' /proc/cmdline)
found=0
for tick in $(seq 1 600); do
  found=0
  for size in /sys/block/sd*/size; do
    [ -f "$size" ] && [ "$(cat "$size")" -gt 0 ] && found=$((found + 1))
  done
  [ "$found" -ge "$expected" ] && break
  sleep 0.1
done
echo "@@ disks $found of $expected $(cut -d' ' -f1 /proc/uptime)"

for dev in /sys/block/sd*; do
  name=${dev##*/}
  mkdir -p "/mnt/$name"
  if mount -t vfat "/dev/$name" "/mnt/$name"; then
    echo "@@ statfs /mnt/$name $(stat -f -c '%a %S' "/mnt/$name")"
  fi
done

start=$(cut -d' ' -f1 /proc/uptime)
/bin/tavrin-kernel-probe 2>&1
echo "@@ probed $start $(cut -d' ' -f1 /proc/uptime)"
# The system's own walk over the kernel's sysfs: the ports as a port map would name them.
/bin/tavrin-usbtree --strings 2>&1 | sed 's/^/@@ tree /'
poweroff -f
