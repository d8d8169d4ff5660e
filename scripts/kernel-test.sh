#!/usr/bin/env bash
# tavrin-check against a real kernel: Debian's own kernel (fetched by scripts/setup.sh) boots
# under QEMU without KVM, with its xHCI, hub, usb-storage, sd and sg drivers. Our flash disks
# (tests/kernel/disks.station, one tavrin-usbdisk each) sit on the ports of an emulated hub
# through usb-redir, a stock emulated usb-storage disk beside them. Inside, tavrin-check runs
# once over every disk against tests/kernel/line.chk and line.pfg while one disk is pulled in
# the middle of its command; then with no disk mounted, as a user who may not open the devices,
# with a disk's mount point covered, and twice at once on one log; then it watches while one more
# disk is plugged, runs alone for the speed figures, five times in turns with tavrin-bare-read's
# same reads; last it is interrupted by SIGINT and by SIGTERM while a disk holds its reply back,
# and has a disk swapped for another meanwhile. Here its values are compared with tavrin-block's
# for each disk's block, its verdicts with the check file's, its retry lines and pass-overs with
# what each disk's replies say, its statuses and messages with what each run must say.
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
build=build/linux
cmake --build --preset linux >/dev/null
station=tests/kernel/disks.station
disks=(1 2 3 4 5) # station disk N on hub port N, there from the start
pulled=4          # ended while it holds back its block
plugged=7         # started once the check watches
held=8            # plugged at the end; holds back three replies
victim=9          # on root port 2, pulled during disk 8's third reply
swapped_in=10     # on root port 3, plugged in its place
stock_port=6

# What the check file and the port map give, worked out from each disk's block lines: disk 1 is
# the line's configuration (names in other case, its EFS size the list's "8MB"); disk 2 differs
# in product name, sleep mode (none in the older layout), disk type, master, two flags and the
# firmware; disk 5 in nearly everything. MPVer and Part (Enable 256: its low 8 bits are 0) are
# off, FWVer is on (Enable 2), so disk 7 passes with its own partition, MP version and an EFS
# size of 20000 sectors, still "8MB". The capacity lies between CapMin 4 and CapMax 8 for all.
declare -A verdict=(
  [1]="PASS"
  [2]="FAIL ProductName Sleep DiskType Master Interleave CacheProgram FWVer"
  [5]="FAIL vid pid revision VendorName ProductName RFreq WFreq Sleep Blink DiskType MultiPlane DualMode Randomize FWVer"
  [7]="PASS"
)
declare -A station_port=([1]=2 [2]=1 [3]=3 [4]=6 [5]=4 [7]=5)

work=$(mktemp -d)
declare -A pid=()
cleanup() {
  for p in "${pid[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The initramfs: busybox, the command, its check file and port map, and the modules of the USB
# storage stack with everything they need, in the order they load.
initrd="$work/initrd"
mkdir -p "$initrd"/{bin,dev,proc,sys,mnt,etc/tavrin,lib/modules}
cp /bin/busybox "$initrd/bin/busybox"
cp "$build/tools/tavrin-check" "$build/tools/tavrin-usbtree" "$build/tests/kernel/tavrin-bare-read" \
  "$initrd/bin/"
cp tests/kernel/line.chk tests/kernel/line.pfg "$initrd/etc/tavrin/"
cp tests/kernel/init.sh "$initrd/init"
# A user of no group that may open the disks, for the run that may not open them.
printf 'root:x:0:0:root:/:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/sh\n' >"$initrd/etc/passwd"
printf 'root:x:0:\nnogroup:x:65534:\n' >"$initrd/etc/group"
chmod +x "$initrd/init"
declare -A loaded=()
add_module() { # $1: path relative to the modules folder; dependencies first
  local path=$1 name dep
  name=$(basename "$path")
  name=${name%%.ko*}
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
  [ -n "$path" ] || {
    echo "kernel-test: module $m is not in $modules" >&2
    exit 1
  }
  add_module "$path"
done
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# One FAT medium for every disk (each holds its own copy in memory), one for the stock disk.
mkfs.vfat -C -n TAVRIN "$work/fat.img" 8192 >/dev/null
cp "$work/fat.img" "$work/stock.img"

# Each flash disk's port has its chardev from the start, QEMU listening: a disk is plugged when
# its process connects and pulled when the process ends. The minimal firmware boots the kernel
# straight away, where the default one first walks every USB disk looking for one to boot.
# USB autosuspend is off: an idle disk would otherwise be resumed (some 10 ms of USB signalling)
# when the command opens it, which the speed figures would count as the command's own time.
qemu_args=(
  -nodefaults -no-user-config -bios qboot.rom -display none -no-reboot -m 256 -smp 1 -accel tcg
  -kernel "$vmlinuz" -initrd "$work/initrd.gz"
  -append "console=ttyS0 loglevel=${TAVRIN_KERNEL_LOGLEVEL:-1} panic=-1 usbcore.autosuspend=-1 tavrin.disks=$((${#disks[@]} + 1))"
  -serial "file:$work/console.log"
  -device qemu-xhci,id=xhci -device usb-hub,bus=xhci.0,port=1
  -drive "if=none,id=stock,format=raw,file=$work/stock.img"
  -device "usb-storage,bus=xhci.0,port=1.$stock_port,drive=stock"
)
for n in "${disks[@]}" "$plugged" "$held" "$victim" "$swapped_in"; do
  case $n in
    "$victim") port=2 ;;
    "$swapped_in") port=3 ;;
    *) port=1.$n ;;
  esac
  qemu_args+=(-chardev "socket,id=disk$n,path=$work/disk$n.sock,server=on,wait=off"
    -device "usb-redir,chardev=disk$n,bus=xhci.0,port=$port")
done
plug() {
  "$build/tests/kernel/tavrin-usbdisk" --station "$station" --disk "$1" --image "$work/fat.img" \
    --socket "$work/disk$1.sock" 2>"$work/disk$1.log" &
  pid[$1]=$!
}

started=$(date +%s.%N)
qemu-system-x86_64 "${qemu_args[@]}" >"$work/qemu.log" 2>&1 &
qemu=$!
pid[qemu]=$qemu
for n in "${disks[@]}"; do plug "$n"; done

# The guest powers off when it is done; a hung guest is stopped. Meanwhile the disk to pull is
# ended as soon as it holds back its reply, the disk to plug is started once the guest says
# that the command watches, each disk the guest asks for is plugged, and disk 9 is swapped for
# disk 10 once disk 8 holds back its third reply.
pulled_at="" plugged_at="" swapped_at=""
holds() { # how many replies disk $1 has held back so far
  local n
  n=$(grep -cs "holds a reply back" "$work/disk$1.log") || true
  echo "${n:-0}"
}
for _ in $(seq 1 3600); do
  kill -0 "$qemu" 2>/dev/null || break
  if [ -z "$pulled_at" ] && grep -q "holds a reply back" "$work/disk$pulled.log"; then
    kill "${pid[$pulled]}"
    pulled_at=$(date +%s.%N)
  fi
  if [ -z "$plugged_at" ] && grep -qs "^@@ watching" "$work/console.log"; then
    plug "$plugged"
    plugged_at=$(date +%s.%N)
  fi
  for n in $(tr -d '\r' 2>/dev/null <"$work/console.log" | sed -n 's/^@@ plug \([0-9]*\)$/\1/p'); do
    [ -n "${pid[$n]:-}" ] || plug "$n"
  done
  if [ -z "$swapped_at" ] && [ "$(holds "$held")" -ge 3 ]; then
    kill "${pid[$victim]}"
    plug "$swapped_in"
    swapped_at=$(date +%s.%N)
  fi
  sleep 0.05
done
if kill -0 "$qemu" 2>/dev/null; then
  echo "kernel-test: the guest did not finish within three minutes" >&2
  cat "$work/console.log" >&2
  exit 1
fi
wall=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')

console=$(tr -d '\r' <"$work/console.log")
failures=0
fail() {
  echo "kernel-test: FAIL: $*" >&2
  failures=$((failures + 1))
}
[ -n "$pulled_at" ] || fail "disk $pulled never held back a reply, so it was not pulled"
[ -n "$plugged_at" ] || fail "the guest never said that the command watches, so disk $plugged was not plugged"

lines() { sed -n "s/^@@ $1 //p" <<<"$console"; } # the guest's copy of one output
check_out=$(lines check-out)
check_err=$(lines check-err)
watch_out=$(lines watch-out)
watch_err=$(lines watch-err)
tree=$(lines tree)

# Each disk the guest mounted: its node, hub port and free bytes (stat's available blocks times
# their size).
declare -A node=() free=()
while read -r name port blocks size; do
  n=${port##*.}
  node[$n]=/dev/$name
  free[$n]=$((blocks * size))
done < <(lines mounted)
for n in "${disks[@]}" "$stock_port" "$plugged"; do
  [ -n "${node[$n]:-}" ] || fail "no disk was mounted from hub port $n"
done

# The block of lines one run wrote for a disk, from its "disk" line to its blank line.
block_of() { # output, node
  awk -v disk="$2" '$1 == "disk" { inside = ($2 == disk) } inside && $0 == "" { exit } inside' <<<"$1"
}
times_listed() { grep -c "^disk $2 " <<<"$1" || true; }

# The retry lines of the pass-through on standard error belong to the device named next (by its
# "time" or "passed over" line): "<node> <r retry 0 lines> <r retry 1 lines> <times named>".
retries_by_disk() {
  awk '/^r retry [01]$/ { pending[$3]++; next }
    { dev = "" }
    $1 == "time" { dev = $2 }
    $1 == "passed" && $2 == "over" { dev = $3 }
    dev != "" && !(dev in named) { order[++count] = dev }
    dev != "" { zero[dev] += pending[0]; one[dev] += pending[1]; pending[0] = pending[1] = 0; ++named[dev] }
    END { for (i = 1; i <= count; ++i) print order[i], zero[order[i]] + 0, one[order[i]] + 0, named[order[i]] }' <<<"$1"
}

# A disk's first line in one run: the port path as tavrin-usbtree names it, the ordinal, the
# station port, the volume (the disk itself: its medium has no partitions).
check_head() { # run name, block, hub port, node
  local head path want
  head=$(head -n 1 <<<"$2")
  path=$(awk -v n="$3" '$1 == n { print $2 }' <<<"$tree")
  want="port ${path:-1.1.$3} ordinal $3 station ${station_port[$3]} vol ${4#/dev/}"
  [ "$head" = "disk $4 $want" ] || fail "$1: hub port $3: '$head', not $want"
}
# A disk's whole block in one run: where it is, its 23 values as tavrin-block gives them for the
# disk's block and free space, and its verdict.
check_disk() { # run name, output, hub port, node, station disk
  local run=$1 out=$2 n=$3 dev=$4 disk=$5 block expected
  block=$(block_of "$out" "$dev")
  check_head "$run" "$block" "$n" "$dev"
  "$build/tests/kernel/tavrin-usbdisk" --station "$station" --disk "$disk" --dump-block "$work/block$disk.bin"
  expected=$("$build/tools/tavrin-block" --free "${free[$n]:-0}" "$work/block$disk.bin")
  expected+=$'\n'"verdict ${verdict[$n]}"
  [ "$(sed -n 2p <<<"$block")" = "serial $(printf 'TAVRIN%06d' "$disk")" ] ||
    fail "$run: disk $disk: '$(sed -n 2p <<<"$block")', not its gadget's serial number"
  [ "$(tail -n +3 <<<"$block")" = "$expected" ] ||
    fail "$run: disk $disk differs from tavrin-block's values and the check file's verdict:$(diff <(echo "$expected") <(tail -n +3 <<<"$block") | sed 's/^/  /')"
}

# The run over every disk: the disks in the walk's order, each supported one listed once; the
# one pulled during its block read never judged (not checked, no record), and the run went on.
read -r status _ <<<"$(lines checked)"
[ "${status:-}" = 1 ] || fail "the run over every disk ended with status '${status:-}', not 1"
listed=$(awk '$1 == "disk" { printf "%s ", $6 }' <<<"$check_out")
[ "$listed" = "1 2 5 " ] || fail "the run listed ordinals '$listed', not '1 2 5 '"
for n in 1 2 5; do
  [ "$(times_listed "$check_out" "${node[$n]:-}")" = 1 ] || fail "the run did not list hub port $n once"
  check_disk "the run" "$check_out" "$n" "${node[$n]:-}" "$n"
done
[ "$(times_listed "$check_out" "${node[$pulled]:-}")" = 0 ] ||
  fail "the disk pulled during its block read was listed:$(block_of "$check_out" "${node[$pulled]:-}" | sed 's/^/  /')"
pulled_line=$(grep "^tavrin-check: ${node[$pulled]:-none} port [0-9.]*: not checked (" <<<"$check_err" || true)
[[ $pulled_line == *": not checked (the disk changed during the run)" ]] ||
  fail "the disk pulled during its block read was not said changed: '${pulled_line:-nothing}'"
read -r _ pulled_zero pulled_one _ < <(retries_by_disk "$check_err" | grep "^${node[$pulled]:-none} " || true)
echo "kernel-test: pulled hub port $pulled: '$pulled_line'," \
  "${pulled_zero:-no} 'r retry 0' and ${pulled_one:-no} 'r retry 1' lines"
# The pull is told by the command it cut short, not by the luck of a later open: the kernel
# fails that command before it takes the disk down, and a busy machine takes it down late.
[ "${pulled_one:-}" = 1 ] ||
  fail "the disk pulled during its block read was sent its command ${pulled_one:-no} times, not once"
for n in 3 "$stock_port"; do
  [ "$(times_listed "$check_out" "${node[$n]:-}")" = 0 ] || fail "hub port $n was listed"
  grep -q "^passed over ${node[$n]:-} (" <<<"$check_err" || fail "hub port $n was not passed over"
done

# Each vendor command answered by sense data costs one "r retry 0"; a failed call "r retry 1".
# A disk passed over is not asked again while it stays: once per run.
check_retries() { # run name, its retries, hub port, expected retry 0 lines, retry 1 lines
  local got zero one named
  got=$(awk -v dev="${node[$3]:-}" '$1 == dev { print $2, $3, $4 }' <<<"$2")
  read -r zero one named <<<"$got"
  [ -n "$got" ] && [ "$named" = 1 ] && [ "$zero" = "$4" ] && [ "$one" = "$5" ] ||
    fail "$1: hub port $3: '${got:-no}' retry lines (retry 0, retry 1, times named), not $4 $5 1"
}
retries=$(retries_by_disk "$check_err")
check_retries "the run" "$retries" 1 0 0
check_retries "the run" "$retries" 2 3 0
check_retries "the run" "$retries" 3 4 0
check_retries "the run" "$retries" 5 0 1
check_retries "the run" "$retries" "$stock_port" 4 0

# The watch: its first pass over the disks still there, then the plugged disk exactly once.
read -r watch_status _ <<<"$(lines watched)"
# Ended by SIGTERM: 143, whatever it judged.
[ "${watch_status:-}" = 143 ] || fail "the watch ended with status '${watch_status:-}', not 143"
grep -qx watching <<<"$watch_err" || fail "the watch never said 'watching'"
read -r _ seen _ <<<"$(lines plugged)"
[ "${seen:-}" = seen ] || fail "the watch did not show the plugged disk while it ran"
listed=$(awk '$1 == "disk" { printf "%s ", $6 }' <<<"$watch_out")
[ "$listed" = "1 2 5 $plugged " ] || fail "the watch listed ordinals '$listed', not '1 2 5 $plugged '"
for n in 1 2 5 "$plugged"; do
  [ "$(times_listed "$watch_out" "${node[$n]:-}")" = 1 ] || fail "the watch did not list hub port $n once"
  check_disk "the watch" "$watch_out" "$n" "${node[$n]:-}" "$n"
done
for n in 3 "$stock_port"; do
  grep -q "^passed over ${node[$n]:-} (" <<<"$watch_err" || fail "the watch did not pass over hub port $n"
done
# The disks' scripts are used up by the first run, but disk 3's sense errors.
retries=$(retries_by_disk "$watch_err")
for n in 1 2 5 "$plugged"; do check_retries "the watch" "$retries" "$n" 0 0; done
check_retries "the watch" "$retries" 3 4 0
check_retries "the watch" "$retries" "$stock_port" 4 0

# The system's walk inside the guest, from the kernel's sysfs: the emulated hub on root port 1,
# so each disk's ordinal is its hub port, its path controller 1, port 1, hub port; its disk bound
# through the sysfs ancestry.
for n in "${disks[@]}" "$stock_port"; do
  line=$(grep -E "^$n 1\.1\.$n " <<<"$tree" || true)
  if [ -z "$line" ]; then
    fail "tavrin-usbtree: no device with ordinal $n at 1.1.$n"
    continue
  fi
  grep -q " key=1-1\.$n " <<<"$line" || fail "tavrin-usbtree: hub port $n: $line"
  grep -qE " disks=[0-9]+ " <<<"$line" || fail "tavrin-usbtree: no disk bound on hub port $n: $line"
done

# No disk mounted: the run says so and fails.
read -r none_status _ <<<"$(lines none)"
[ "${none_status:-}" = 1 ] || fail "the run without a mounted disk ended with status '${none_status:-}', not 1"
grep -q "no disk found" <<<"$(lines none-err)" || fail "the run without a mounted disk did not say 'no disk found'"
[ -z "$(lines none-out)" ] || fail "the run without a mounted disk printed a disk"

# A user who may not open the devices: every disk with a mounted volume named with the reason.
user_err=$(lines user-err)
read -r user_status _ <<<"$(lines user)"
[ "${user_status:-}" = 1 ] || fail "the run as a user without access ended with status '${user_status:-}', not 1"
for n in 1 2 3 5 "$stock_port"; do
  grep -q "${node[$n]:-none}.*Permission denied" <<<"$user_err" ||
    fail "the run as a user without access did not name hub port $n with its reason"
done
[ -z "$(lines user-out)" ] || fail "the run as a user without access printed a disk"
echo "kernel-test: as a user without access: '$(head -n 1 <<<"$user_err")'"

# A covered mount point: the disk has no mount of its own, so it is not checked.
read -r cover_status covered_node _ <<<"$(lines covered)"
[ "${cover_status:-}" = 1 ] || fail "the run on a covered disk ended with status '${cover_status:-}', not 1"
[ "$(times_listed "$(lines cover-out)" "${covered_node:-none}")" = 0 ] ||
  fail "the disk whose mount point was covered was checked"

# Two runs on one log, three times: every line once and whole.
log=$(lines log-line)
[ "$(head -n 1 <<<"$log")" = $'\xEF\xBB\xBF'"Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,ProductName,RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,Interleave,CacheProgram,DualMode,Randomize,CapMin,CapMax,MPVer,FWVer,Serial number,Check file,Station,Failed items" ] ||
  fail "the shared log does not start with its header: '$(head -n 1 <<<"$log")'"
[ "$(grep -c . <<<"$log")" = 19 ] || fail "the shared log holds $(grep -c . <<<"$log") lines, not the header and 18"
# Each line names its disk by the serial number the USB gadget gives it, the check file, the
# guest's name and, for a FAIL alone, the items it failed.
bad=$(tail -n +2 <<<"$log" | awk -F, 'NF != 32 || $4 !~ /^sd[a-z]+$/ ||
  $5 !~ /^(PASS|FAIL)$/ || $29 !~ /^TAVRIN[0-9]+$/ || $30 != "/etc/tavrin/line.chk" ||
  $31 != "tavrin-guest" || ($5 == "PASS") != ($32 == "")' | head -n 3)
[ -z "$bad" ] || fail "the shared log holds lines cut or spliced:$(sed 's/^/  /' <<<"$bad")"
for n in 1 2 5; do
  count=$(tail -n +2 <<<"$log" | awk -F, -v n="$n" '$3 == n' | wc -l)
  [ "$count" = 6 ] || fail "the shared log holds $count lines of hub port $n, not 6"
done

# Interrupted while disk 8 holds its reply back: status 128 plus the signal, the disk named as
# not checked, and its command sent once: three runs, three replies held in all.
for signal in INT TERM; do
  read -r status node_held _ <<<"$(sed -n "s/^@@ signal $signal //p" <<<"$console")"
  want=$([ "$signal" = INT ] && echo 130 || echo 143)
  [ "${status:-}" = "$want" ] || fail "the run interrupted by SIG$signal ended with status '${status:-}', not $want"
  grep -q "${node_held:-none}.*not checked" <<<"$(sed -n "s/^@@ signal-err $signal //p" <<<"$console")" ||
    fail "the run interrupted by SIG$signal did not name the disk in hand as not checked"
  echo "kernel-test: interrupted by SIG$signal: '$(sed -n "s/^@@ signal-err $signal //p" <<<"$console" | grep -v '^r retry' | head -n 1)'"
done
[ "$(holds "$held")" = 3 ] || fail "disk $held held back $(holds "$held") replies, not 3: a command was sent twice"

# A disk swapped while disk 8 held its reply back: the swapped one not checked, disk 8 checked.
[ -n "$swapped_at" ] || fail "disk $held never held back its third reply, so no disk was swapped"
read -r swap_status _ <<<"$(lines swapped)"
read -r _ swap_held swap_victim <<<"$(lines swap | sed 's/^/x /')"
swap_err=$(lines swap-err)
[ "${swap_status:-}" = 1 ] || fail "the run with a swapped disk ended with status '${swap_status:-}', not 1"
grep -q "${swap_victim:-none}.*not checked (the disk changed during the run)" <<<"$swap_err" ||
  fail "the swapped disk was not reported as changed:$(sed 's/^/  /' <<<"$swap_err")"
grep -q "^verdict PASS" <<<"$(block_of "$(lines swap-out)" "${swap_held:-none}")" ||
  fail "disk $held was not checked in the run with a swapped disk"
[ "$(times_listed "$(lines swap-out)" "${swap_victim:-none}")" = 0 ] || fail "the swapped disk was read"
echo "kernel-test: swapped: '$(grep "${swap_victim:-none}" <<<"$swap_err" | head -n 1)'"

boot=$(awk '/^@@ boot/ {print $3}' <<<"$console")
ready=$(awk '/^@@ disks/ {print $6}' <<<"$console")
took=$(awk '/^@@ checked/ {printf "%.2f", $5 - $4}' <<<"$console")
echo "kernel-test: guest up at ${boot}s, disks ready at ${ready}s, the run over them ${took}s, wall ${wall}s"

# Speed, measured and never asserted: the time the command spends on each disk it read against
# the time inside its SG_IO calls. The figures of record are the last run's, alone in the guest;
# the first run's include the guest's first pass through the code, the watch's the automounter
# running beside it. The bare reads (tests/kernel/bare_read.cpp) are the yardstick: the system
# calls of the same reads and nothing else.
bench() { # run name, its standard error, the hub ports it read
  local run=$1 err=$2 n got total sgio
  shift 2
  for n in "$@"; do
    got=$(awk -v dev="${node[$n]:-}" '$1 == "time" && $2 == dev { print $3, $4 }' <<<"$err")
    read -r total sgio _ <<<"$got"
    if ! [[ ${total:-} =~ ^[0-9]+$ && ${sgio:-} =~ ^[0-9]+$ ]] || [ "$(wc -l <<<"$got")" != 1 ]; then
      fail "$run: hub port $n: time line '$got'"
      continue
    fi
    echo "$run|hub port $n (${node[$n]})|$total|$sgio"
  done
}
read -r quiet_status _ <<<"$(lines quiet)"
[ "${quiet_status:-}" = 1 ] || fail "the last run ended with status '${quiet_status:-}', not 1 (two disks fail)"
figures=$(bench "the run" "$check_err" 1 2 5
  bench "the watch" "$watch_err" 1 2 5 "$plugged"
  bench "the last run" "$(lines quiet-err)" 1 2 5 "$plugged")
awk -F'|' 'function line(what, t, s) {
    r = s > 0 ? t / s : 0
    printf "kernel-test: bench %s: %.2f ms in all, %.2f ms in SG_IO, %.3fx\n", what, t / 1000, s / 1000, r
  }
  { line($1 ", " $2, $3, $4); t[$1] += $3; s[$1] += $4; if (!($1 in t0)) order[++runs] = $1; t0[$1] = 1 }
  END { for (i = 1; i <= runs; ++i) line(order[i] ", every disk", t[order[i]], s[order[i]]) }' <<<"$figures"

# The figures of record: five runs of each, taken in turns, their medians per disk; tavrin-check
# against the bare reads' time for the same disks.
rounds=$(lines round)
for n in 1 2 5 "$plugged"; do
  for who in check bare; do
    got=$(awk -v who="$who" -v dev="${node[$n]:-}" '$2 == who && $3 == dev' <<<"$rounds")
    [ "$(grep -c . <<<"$got")" = 5 ] || fail "the rounds: hub port $n: $(grep -c . <<<"$got") times of $who, not 5"
  done
done
awk -v ports="1 2 5 $plugged" -v nodes="${node[1]:-} ${node[2]:-} ${node[5]:-} ${node[$plugged]:-}" '
  function median(list, n,   i, j, v, a) {
    n = split(list, a, " ")
    for (i = 2; i <= n; ++i) { v = a[i] + 0; for (j = i - 1; j >= 1 && a[j] + 0 > v; --j) a[j + 1] = a[j]; a[j + 1] = v }
    return a[int((n + 1) / 2)] + 0
  }
  { t[$2, $3] = t[$2, $3] " " $4; s[$2, $3] = s[$2, $3] " " $5 }
  END {
    np = split(ports, p, " "); split(nodes, d, " ")
    for (i = 1; i <= np; ++i) {
      c = median(t["check", d[i]]); b = median(t["bare", d[i]])
      cs = median(s["check", d[i]]); bs = median(s["bare", d[i]])
      r = b > 0 ? c / b : 0
      printf "kernel-test: bench medians of five, hub port %s (%s): tavrin-check %.2f ms (%.2f ms in SG_IO), bare reads %.2f ms (%.2f ms in SG_IO), %.3fx (%s 1.1x)\n",
        p[i], d[i], c / 1000, cs / 1000, b / 1000, bs / 1000, r, (b > 0 && r <= 1.1) ? "within" : "over"
      tc += c; tb += b
    }
    r = tb > 0 ? tc / tb : 0
    printf "kernel-test: bench medians of five, every disk: tavrin-check %.2f ms, bare reads %.2f ms, %.3fx (%s 1.1x)\n",
      tc / 1000, tb / 1000, r, (tb > 0 && r <= 1.1) ? "within" : "over"
  }' <<<"$rounds"

if [ "$failures" -gt 0 ]; then
  echo "--- console" >&2
  echo "$console" >&2
  echo "--- emulator" >&2
  cat "$work/qemu.log" >&2
  exit 1
fi
echo "kernel-test: ok"
