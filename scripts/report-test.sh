#!/usr/bin/env bash
# tavrin-report's page as people see it: logs of two stations in two formats, the page made
# from them opened by a real browser (Debian's chromium, headless), its rendered text read back
# and its screenshot taken. The figures on the page must be the ones worked out here by hand,
# and the charts must be drawn.
#   scripts/report-test.sh [BUILD]    (BUILD: a native build folder, build/native by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
report="$build/tools/tavrin-report"
out="$build/report-test"
rm -rf "$out"
mkdir -p "$out/logs"

header='Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,ProductName,RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,Interleave,CacheProgram,DualMode,Randomize,CapMin,CapMax,MPVer,FWVer'
good='1234,7730,1.00,Generic,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0412'
name='1234,7730,1.00,Generic,USB DISK,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0412'
firmware='1234,7730,1.00,Generic,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0399'
cp docs/demo/line16.chk "$out/logs/"

# Station LINE1-ST01, current format: 48 disks over ports 1 to 16 from 08:00 to 09:59, port 11
# failing its product name on all three of its disks, two more failing the firmware, each
# record naming its failed items; one disk of port 11 checked again at 10:30, passing.
{
  printf '\xEF\xBB\xBF%s,Serial number,Check file,Station,Failed items\r\n' "$header"
  for i in $(seq 0 47); do
    port=$(( i % 16 + 1 ))
    values=$good verdict=PASS items=
    if [ "$port" -eq 11 ]; then values=$name verdict=FAIL items=ProductName; fi
    if [ "$i" -eq 4 ] || [ "$i" -eq 20 ]; then values=$firmware verdict=FAIL items=FWVer; fi
    printf '2026-12-08 %02d:%02d:00,%d,%d,E,%s,%s,AA%04d,line16.chk,LINE1-ST01,%s\r\n' \
      $(( 8 + i / 24 )) $(( i % 24 * 2 )) "$port" "$port" "$verdict" "$values" "$i" "$items"
  done
  printf '2026-12-08 10:30:00,11,11,E,PASS,%s,AA0010,line16.chk,LINE1-ST01,\r\n' "$good"
} >"$out/logs/line1-st01.csv"
# Station line1-st02, older format, free mode: 10 disks at 09:00, one failing.
{
  printf '\xEF\xBB\xBF%s\r\n' "$header"
  for i in $(seq 0 9); do
    verdict=PASS; [ "$i" -eq 6 ] && verdict=FAIL
    printf '2026-12-08 09:%02d:00,,%d,E,%s,%s\r\n' $(( i * 5 )) $(( i + 1 )) "$verdict" "$good"
  done
} >"$out/logs/line1-st02.csv"

# 59 disks checked, 6 failed: 3 product names on port 11, 2 firmware versions, 1 not recorded
# (the older format names no failed items, and no check file is given to judge it by).
"$report" --html "$out/report.html" --csv "$out/report.csv" "$out/logs" >"$out/summary.txt"
grep -q '^checked 59, PASS 53, FAIL 6, yield 89.83%$' "$out/summary.txt" ||
  { echo "report-test: the summary's figures are wrong:"; cat "$out/summary.txt"; exit 1; }

browser=(chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run
         --user-data-dir="$out/profile")
"${browser[@]}" --dump-dom "file://$PWD/$out/report.html" >"$out/dom.html" 2>"$out/browser.err"
"${browser[@]}" --window-size=900,1400 --screenshot="$PWD/$out/report.png" \
  "file://$PWD/$out/report.html" >/dev/null 2>>"$out/browser.err"

expect() {  # what the rendered page must hold
  grep -qF -- "$1" "$out/dom.html" || { echo "report-test: the page lacks: $1"; exit 1; }
}
expect 'Checked 59, PASS 53, FAIL 6, yield 89.83%'
expect '<td>ProductName</td><td>3</td>'
expect '<td>FWVer</td><td>2</td>'
expect '<td>(not recorded)</td><td>1</td>'
expect '<td>LINE1-ST01</td><td>port 11</td><td>4</td><td>3</td><td>75.00%</td><td>stands out</td>'
expect '<td>line1-st02</td><td>ordinal 7</td><td>1</td><td>1</td><td>100.00%</td><td></td>'
expect '<td>2026-12-08 09:00</td><td>34</td><td>91.18%</td>'
expect '<td>AA0010</td><td>2026-12-08 08:20:00 FAIL, 2026-12-08 10:30:00 PASS</td>'
[ "$(grep -o '<rect class="hour"' "$out/dom.html" | wc -l)" -eq 3 ] ||
  { echo "report-test: the yield chart has not one bar per hour"; exit 1; }
[ "$(grep -o '<rect class="item"' "$out/dom.html" | wc -l)" -eq 3 ] ||
  { echo "report-test: the Pareto chart has not one bar per failed item"; exit 1; }
[ "$(grep -o 'class="port-grid"' "$out/dom.html" | wc -l)" -eq 1 ] ||
  { echo "report-test: not one port grid for the one station in station mode"; exit 1; }

# The screenshot shows the charts: the red of the Pareto bars and the port grid's greens.
[ -s "$out/report.png" ] || { echo "report-test: no screenshot"; cat "$out/browser.err"; exit 1; }
red=$(convert "$out/report.png" -fill black -fuzz 3% +opaque "rgb(192,80,77)" -fill white \
        -opaque "rgb(192,80,77)" -format "%[fx:round(mean*w*h)]" info:)
echo "report-test: $red pixels of the Pareto bars in $out/report.png"
[ "$red" -ge 2000 ] || { echo "report-test: the charts are not drawn in $out/report.png"; exit 1; }
echo "report-test: ok"
