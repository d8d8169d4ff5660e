#!/usr/bin/env bash
# The device layer against a real kernel: Debian's own kernel (fetched by scripts/setup.sh)
# boots under QEMU without KVM, with its xHCI, hub, usb-storage, sd and sg drivers. Our flash
# disks (tests/kernel/disks.station, one tavrin-usbdisk each) sit on the ports of an emulated
# hub through usb-redir, a stock emulated usb-storage disk beside them. Inside, the static probe
# identifies and reads every disk over SG_IO; here its values are compared with tavrin-block's
# for each disk's block, and its retry lines and pass-overs with what each disk's replies say.
#   scripts/kernel-test.sh        (after scripts/setup.sh; builds the linux preset)
set -euo pipefail
cd "$(dirname "$0")/.."

kernel_cache="${TAVRIN_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/kernel}"
vmlinuz=$(compgen -G "$kernel_cache/root/boot/vmlinuz-*" | head -n 1 || true)
if [ -z "$vmlinuz" ]; then
  echo "kernel-test: no kernel in $kernel_cache: run scripts/setup.sh" >&2
  exit 1
fi
release=${vmlinuz##*/vmlinuz-}
modules="$kernel_cache/root/lib/modules/$release"

cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
build=build/linux
cmake --build "$build" --target tavrin-usbtree >/dev/null
station=tests/kernel/disks.station
disks=(1 2 3 4)      # station disk N on hub port N
stock_port=5

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The initramfs: busybox, the probe, and the modules of the USB storage stack with everything
# they need, in the order they load.
initrd="$work/initrd"
mkdir -p "$initrd"/{bin,dev,proc,sys,mnt,lib/modules}
cp /bin/busybox "$initrd/bin/busybox"
cp "$build/tests/kernel/tavrin-kernel-probe" "$build/tools/tavrin-usbtree" "$initrd/bin/"
cp tests/kernel/init.sh "$initrd/init"
chmod +x "$initrd/init"
declare -A loaded=()
add_module() {  # $1: path relative to the modules folder; dependencies first
  local path=$1 name dep
  name=$(basename "$path"); name=${name%%.ko*}
  [ -n "${loaded[$name]:-}" ] && return
  loaded[$name]=1
  for dep in $(grep -E "^$path:" "$modules/modules.dep" | cut -d: -f2); do
    add_module "$dep"
  done
  case "$path" in
    *.ko.xz) xz -dc "$modules/$path" >"$initrd/lib/modules/$name.ko" ;;
    *.ko.zst) zstd -qdc "$modules/$path" >"$initrd/lib/modules/$name.ko" ;;
    *) cp "$modules/$path" "$initrd/lib/modules/$name.ko" ;;
  esac
  local options=""
  [ "$name" = usb-storage ] && options="delay_use=0"
  echo "$name $options" >>"$initrd/lib/modules/order"
}
for m in xhci-pci usb-storage sd_mod sg vfat nls_cp437 nls_ascii nls_utf8; do
  path=$(grep -oE "^[^:]*/$m\.ko(\.xz|\.zst)?:" "$modules/modules.dep" | tr -d :)
  [ -n "$path" ] || { echo "kernel-test: module $m is not in $modules" >&2; exit 1; }
  add_module "$path"
done
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# One FAT medium for every disk (each holds its own copy in memory), one for the stock disk.
mkfs.vfat -C -n TAVRIN "$work/fat.img" 8192 >/dev/null
cp "$work/fat.img" "$work/stock.img"

qemu_args=(
  -nodefaults -no-user-config -display none -no-reboot -m 256 -smp 1 -accel tcg
  -kernel "$vmlinuz" -initrd "$work/initrd.gz"
  -append "console=ttyS0 loglevel=${TAVRIN_KERNEL_LOGLEVEL:-1} panic=-1 tavrin.disks=$((${#disks[@]} + 1))"
  -serial "file:$work/console.log"
  -device qemu-xhci,id=xhci -device usb-hub,bus=xhci.0,port=1
  -drive "if=none,id=stock,format=raw,file=$work/stock.img"
  -device "usb-storage,bus=xhci.0,port=1.$stock_port,drive=stock"
)
for n in "${disks[@]}"; do
  qemu_args+=(-chardev "socket,id=disk$n,path=$work/disk$n.sock,server=on,wait=off"
              -device "usb-redir,chardev=disk$n,bus=xhci.0,port=1.$n")
done

started=$(date +%s.%N)
qemu-system-x86_64 "${qemu_args[@]}" >"$work/qemu.log" 2>&1 &
qemu=$!
pids+=("$qemu")
for n in "${disks[@]}"; do
  "$build/tests/kernel/tavrin-usbdisk" --station "$station" --disk "$n" --image "$work/fat.img" \
    --socket "$work/disk$n.sock" 2>>"$work/disks.log" &
  pids+=("$!")
done

# The guest powers off when the probe is done; a hung guest is stopped.
for _ in $(seq 1 1800); do
  kill -0 "$qemu" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$qemu" 2>/dev/null; then
  echo "kernel-test: the guest did not finish within three minutes" >&2
  cat "$work/console.log" >&2
  exit 1
fi
wall=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')

console=$(tr -d '\r' <"$work/console.log")
failures=0
fail() { echo "kernel-test: FAIL: $*" >&2; failures=$((failures + 1)); }

# The lines the probe wrote for the disk on hub port $1, retry lines included.
section() {
  awk -v port="1-1.$1" '
    /^@@ disk / { inside = ($5 == port) }
    /^@@ done/ { inside = 0 }
    inside' <<<"$console"
}
retries() { grep -c "^r retry $2\$" <<<"$(section "$1")" || true; }

for n in "${disks[@]}" "$stock_port"; do
  [ -n "$(section "$n")" ] || fail "no disk on hub port $n"
done

for n in "${disks[@]}"; do
  "$build/tests/kernel/tavrin-usbdisk" --station "$station" --disk "$n" --dump-block "$work/block$n.bin"
  expected=$("$build/tools/tavrin-block" "$work/block$n.bin")
  got=$(section "$n" | sed -n 's/^@@ value //p')
  case $n in
    3) grep -q "^@@ passed-over" <<<"$(section "$n")" || fail "disk 3 was not passed over"
       [ -z "$got" ] || fail "disk 3 gave values" ;;
    *) [ "$got" = "$expected" ] ||
         fail "disk $n: the probe's values differ from tavrin-block's:$(diff <(echo "$expected") <(echo "$got") | sed 's/^/  /')" ;;
  esac
done

# Each vendor command answered by sense data costs one "r retry 0"; a failed call "r retry 1".
check_retries() {  # port, expected retry 0 lines, expected retry 1 lines
  local zero one
  zero=$(retries "$1" 0); one=$(retries "$1" 1)
  [ "$zero" = "$2" ] && [ "$one" = "$3" ] ||
    fail "hub port $1: $zero 'r retry 0' and $one 'r retry 1' lines, not $2 and $3"
}
check_retries 1 0 0
check_retries 2 3 0
check_retries 3 4 0
check_retries 4 0 1
check_retries "$stock_port" 4 0
grep -q "^@@ passed-over" <<<"$(section "$stock_port")" || fail "the stock disk was not passed over"

# The system's walk inside the guest, from the kernel's sysfs: the emulated hub on root port 1,
# so each disk's ordinal is its hub port, its path controller 1, port 1, hub port; its disk bound
# through the sysfs ancestry.
tree=$(sed -n 's/^@@ tree //p' <<<"$console")
for n in "${disks[@]}" "$stock_port"; do
  line=$(grep -E "^$n 1\.1\.$n " <<<"$tree" || true)
  if [ -z "$line" ]; then
    fail "tavrin-usbtree: no device with ordinal $n at 1.1.$n"
    continue
  fi
  grep -q " key=1-1\.$n " <<<"$line" || fail "tavrin-usbtree: hub port $n: $line"
  grep -qE " disks=[0-9]+ " <<<"$line" || fail "tavrin-usbtree: no disk bound on hub port $n: $line"
done

# Free space from statvfs, as the guest's own stat counts it.
while read -r _ _ point blocks size; do
  free=$(grep -m1 "^@@ free $point " <<<"$console" | awk '{print $4}')
  [ "$free" = "$((blocks * size))" ] || fail "free space of $point: '$free', stat says $((blocks * size))"
done < <(grep "^@@ statfs " <<<"$console")
[ "$(grep -c '^@@ statfs ' <<<"$console")" -ge 1 ] || fail "no disk was mounted"

boot=$(awk '/^@@ boot/ {print $3}' <<<"$console")
ready=$(awk '/^@@ disks/ {print $6}' <<<"$console")
probed=$(awk '/^@@ probed/ {printf "%.2f", $4 - $3}' <<<"$console")
echo "kernel-test: guest up at ${boot}s, disks ready at ${ready}s, probe ${probed}s, wall ${wall}s"
grep "^@@ time " <<<"$console" | awk '{printf "kernel-test: %s %.1f ms\n", $3, $4 / 1000}'
if [ "$failures" -gt 0 ]; then
  echo "--- console" >&2; echo "$console" >&2
  echo "--- emulator" >&2; cat "$work/qemu.log" >&2
  exit 1
fi
echo "kernel-test: ok"
