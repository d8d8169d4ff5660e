#!/bin/busybox sh
# The kernel test's guest: loads the USB storage stack, waits for the disks, mounts them, runs
# tavrin-check over them once; then the runs that must fail and say so (no disk mounted, a user
# who may not open the devices, a covered mount point) and two runs on one log; then watches
# while a disk is plugged, runs alone for the speed figures, and last is interrupted and has a
# disk swapped while a disk holds its reply back. Every line for the harness starts with "@@ ".
/bin/busybox mkdir -p /usr/bin /sbin /usr/sbin /tmp
/bin/busybox --install -s
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# The station's name in every log line.
echo tavrin-guest >/proc/sys/kernel/hostname
uptime() { cut -d' ' -f1 /proc/uptime; }
echo "@@ boot $(uptime)"

while read -r module options; do
  insmod "/lib/modules/$module.ko" $options || echo "@@ insmod-failed $module"
done </lib/modules/order

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
echo "@@ disks $found of $expected $(uptime)"

# What an automounter does: a disk that came is mounted, the mount of one that went is dropped.
# Each mounted disk is named with its USB device (the last bus-port name in its sysfs path) and
# the free space the guest's own stat gives.
usb_port_of() {
  port=-
  for part in $(readlink -f "/sys/block/$1" | tr / ' '); do
    case "$part" in [1-9]*-*:*) ;; [1-9]*-*) port=$part ;; esac
  done
  echo "$port"
}
mount_disks() {
  for dev in /sys/block/sd*; do
    name=${dev##*/}
    [ -d "/mnt/$name" ] && continue
    [ -f "$dev/size" ] && [ "$(cat "$dev/size")" -gt 0 ] || continue
    mkdir -p "/mnt/$name"
    if mount -t vfat "/dev/$name" "/mnt/$name"; then
      echo "@@ mounted $name $(usb_port_of "$name") $(stat -f -c '%a %S' "/mnt/$name")"
      echo "$name" >>/tmp/mounted
    fi
  done
  for point in /mnt/sd*; do
    [ -d "$point" ] && [ ! -e "/sys/block/${point##*/}" ] || continue
    umount -l "$point" && rmdir "$point"
  done
}
mount_disks

# The system's own walk over the kernel's sysfs, before any disk goes: the ports as a port map
# would name them.
/bin/tavrin-usbtree --strings 2>&1 | sed 's/^/@@ tree /'

# One run over every disk; the harness pulls one of them in the middle of its command.
check="/bin/tavrin-check --check /etc/tavrin/line.chk --ports /etc/tavrin/line.pfg"
start=$(uptime)
$check --verbose >/tmp/check.out 2>/tmp/check.err
echo "@@ checked $? $start $(uptime)"
sed 's/^/@@ check-out /' /tmp/check.out
sed 's/^/@@ check-err /' /tmp/check.err

# No disk mounted: a run that checks nothing says so and fails.
unmount_all() {
  for point in /mnt/sd*; do
    [ -d "$point" ] || continue
    umount "$point" 2>/dev/null || umount -l "$point"
    rmdir "$point"
  done
}
unmount_all
$check >/tmp/none.out 2>/tmp/none.err
echo "@@ none $?"
sed 's/^/@@ none-err /' /tmp/none.err
sed 's/^/@@ none-out /' /tmp/none.out
mount_disks >/dev/null

# A user who may not open the disks' devices: every disk named with the system's reason.
su nobody -s /bin/sh -c "$check" >/tmp/user.out 2>/tmp/user.err
echo "@@ user $?"
sed 's/^/@@ user-err /' /tmp/user.err
sed 's/^/@@ user-out /' /tmp/user.out

# The disk on a hub port, by the USB device its sysfs path goes through.
disk_on() {
  for dev in /sys/block/sd*; do
    [ "$(usb_port_of "${dev##*/}")" = "$1" ] && echo "${dev##*/}" && return
  done
}
# A mount point covered by another file system: the disk has no mount of its own to measure.
first=$(disk_on 1-1.1)
mount -t tmpfs cover "/mnt/$first"
$check --verbose "/dev/$first" >/tmp/cover.out 2>/tmp/cover.err
echo "@@ covered $? /dev/$first"
umount "/mnt/$first"
sed 's/^/@@ cover-err /' /tmp/cover.err
sed 's/^/@@ cover-out /' /tmp/cover.out

# Two runs writing one log at once, three times over.
for round in 1 2 3; do
  $check --log /tmp/shared.csv >/dev/null 2>&1 &
  one=$!
  $check --log /tmp/shared.csv >/dev/null 2>&1 &
  two=$!
  wait "$one"
  wait "$two"
done
sed 's/^/@@ log-line /' /tmp/shared.csv

# Watching: the harness plugs one more disk once the command says it watches.
mount_disks
: >/tmp/mounted
(while :; do mount_disks; sleep 0.1; done) &
automounter=$!
$check --verbose --watch >/tmp/watch.out 2>/tmp/watch.err &
watch=$!
for tick in $(seq 1 600); do
  grep -q '^watching$' /tmp/watch.err && break
  sleep 0.1
done
echo "@@ watching $(uptime)"
# Done when the watch has ended the block of the disk that arrived (its blank line), and has had
# a while longer to check it a second time.
seen=unseen
for tick in $(seq 1 600); do
  name=$(head -n 1 /tmp/mounted)
  [ -n "$name" ] && awk -v disk="/dev/$name" '
    $1 == "disk" && $2 == disk { inside = 1 }
    inside && $0 == "" { done = 1 }
    END { exit !done }' /tmp/watch.out && seen=seen && break
  sleep 0.1
done
echo "@@ plugged ${name:--} $seen $(uptime)"
sleep 0.5
kill -TERM "$watch"
wait "$watch"
echo "@@ watched $? $(uptime)"
kill "$automounter"
wait "$automounter"
sed 's/^/@@ watch-out /' /tmp/watch.out
sed 's/^/@@ watch-err /' /tmp/watch.err

# The speed figures of record: one more run over the disks still there, with nothing else
# running in the guest to share its one processor, then five more, each after the yardstick.
$check --verbose >/tmp/quiet.out 2>/tmp/quiet.err
echo "@@ quiet $?"
sed 's/^/@@ quiet-err /' /tmp/quiet.err
# The yardstick: the same reads of the disks the run read, by a program that does nothing else.
bare=""
for disk in $(sed -n 's|^time /dev/\([a-z]*\) .*|\1|p' /tmp/quiet.err); do
  bare="$bare /dev/$disk /dev/$(ls "/sys/block/$disk/device/scsi_generic") /mnt/$disk"
done
for round in 1 2 3 4 5; do
  /bin/tavrin-bare-read $bare | sed "s/^/@@ round $round /"
  $check --verbose 2>&1 >/dev/null | sed -n "s/^time /@@ round $round check /p"
done

# Interrupted while a disk holds its reply back: the command ends at once, sends nothing twice,
# and says so by its status. Disk 8 holds its first three replies.
echo "@@ plug 8"
echo "@@ plug 9"
for tick in $(seq 1 600); do
  [ -n "$(disk_on 1-1.8)" ] && [ -n "$(disk_on 1-2)" ] && break
  sleep 0.1
done
mount_disks >/dev/null
held=$(disk_on 1-1.8)
plain="/bin/tavrin-check --check /etc/tavrin/line.chk"
for signal in INT TERM; do
  $plain "/dev/$held" >/tmp/signal.out 2>/tmp/signal.err &
  run=$!
  # Stopped once it waits in its pass-through call (ioctl SG_IO), however long starting took.
  for tick in $(seq 1 600); do
    read -r call _ request _ <"/proc/$run/syscall" 2>/dev/null || break
    [ "$call" = 16 ] && [ "$request" = 0x2285 ] && break
    sleep 0.05
  done
  kill -"$signal" "$run"
  wait "$run"
  echo "@@ signal $signal $? /dev/$held"
  sed "s/^/@@ signal-err $signal /" /tmp/signal.err
  sed "s/^/@@ signal-out $signal /" /tmp/signal.out
done

# A disk swapped while an earlier one holds its reply back: the harness pulls disk 9 and plugs
# disk 10, which the kernel gives disk 9's freed names.
victim=$(disk_on 1-2)
echo "@@ swap /dev/$held /dev/$victim"
$plain --verbose "/dev/$held" "/dev/$victim" >/tmp/swap.out 2>/tmp/swap.err
echo "@@ swapped $?"
sed 's/^/@@ swap-err /' /tmp/swap.err
sed 's/^/@@ swap-out /' /tmp/swap.out
poweroff -f
