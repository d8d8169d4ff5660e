#!/usr/bin/env bash
# tavrin-report's page as people see it: logs of two stations in two formats, the page made
# from them opened by a real browser (Debian's chromium, headless), its rendered text read back
# and its screenshot taken. The figures on the page must be the ones worked out here by hand,
# and the charts must be drawn. Then a generated month of 24 stations with a worn port: its page
# printed to PDF on A4 within 10 pages, the period and the port read back from the rendered page,
# and the page at a phone's 390 pixels with nothing past the screen's edge.
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
# 58 disks: AA0010 twice; its checks in the CSV alone.
grep -q '^disks 58, first-pass yield 89.66%, final yield 91.38%, retested 1, FAIL then PASS 1$' \
  "$out/summary.txt" || { echo "report-test: the disks are miscounted:"; cat "$out/summary.txt"; exit 1; }
grep -q $'^check,,,,,,,,,,AA0010,2026-12-08 08:20:00,FAIL\r$' "$out/report.csv" &&
  grep -q $'^check,,,,,,,,,,AA0010,2026-12-08 10:30:00,PASS\r$' "$out/report.csv" ||
  { echo "report-test: the CSV lacks AA0010's checks"; exit 1; }

browser=(chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run
         --user-data-dir="$out/profile")
"${browser[@]}" --dump-dom "file://$PWD/$out/report.html" >"$out/dom.html" 2>"$out/browser.err"
"${browser[@]}" --window-size=900,2400 --screenshot="$PWD/$out/report.png" \
  "file://$PWD/$out/report.html" >/dev/null 2>>"$out/browser.err"

expect() {  # what the rendered page must hold
  grep -qF -- "$1" "$out/dom.html" || { echo "report-test: the page lacks: $1"; exit 1; }
}
expect 'Checked 59, PASS 53, FAIL 6, yield 89.83%'
expect '<td>ProductName</td><td>3</td>'
expect '<td>FWVer</td><td>2</td>'
# Port 11 fails 3 of 4 against 2 of 45 on the station's other ports: a ratio of 16.9, but three
# failures are too few to stand out.
expect '<td>LINE1-ST01</td><td>port 11</td><td>4</td><td>3</td><td>75.00%</td><td>4.44%</td><td>16.9</td>'
expect '<td>line1-st02</td><td>ordinal 7</td><td>1</td><td>1</td><td>100.00%</td><td>0.00%</td><td>none failed elsewhere</td>'
expect '<p id="period">From <b>2026-12-08 08:00:00</b> to <b>2026-12-08 10:30:00</b></p>'
expect '<title>2026-12-08: 59 checked, yield 89.83%</title>'
expect '<td>(not recorded)</td><td>1</td>'
expect 'ProductName = USB DISK: 3'
! grep -q 'stands out</td>' "$out/dom.html" || { echo "report-test: a port stands out on three failures"; exit 1; }
[ "$(grep -o '<circle class="day"' "$out/dom.html" | wc -l)" -eq 1 ] ||
  { echo "report-test: the yield chart has not one point per day"; exit 1; }
[ "$(grep -o '<rect class="item"' "$out/dom.html" | wc -l)" -eq 3 ] ||
  { echo "report-test: the Pareto chart has not one bar per failed item, (not recorded) among them"; exit 1; }
[ "$(sed -n '/id="heat-map"/,/<\/table>/p' "$out/dom.html" | grep -c '<th class="row">')" -eq 3 ] ||
  { echo "report-test: the heat map has not one row per station"; exit 1; }

# The screenshot shows the charts: the red of the Pareto bars and the port grid's greens.
[ -s "$out/report.png" ] || { echo "report-test: no screenshot"; cat "$out/browser.err"; exit 1; }
red=$(convert "$out/report.png" -fill black -fuzz 3% +opaque "rgb(192,80,77)" -fill white \
        -opaque "rgb(192,80,77)" -format "%[fx:round(mean*w*h)]" info:)
echo "report-test: $red pixels of the Pareto bars in $out/report.png"
[ "$red" -ge 2000 ] || { echo "report-test: the charts are not drawn in $out/report.png"; exit 1; }

# A month of 24 stations: 23 write the current format; QC-24 writes the oldest format, a log a
# day named by its date. Three disks a port a day over 16 ports, 2 % failing their product
# name; LINE2-ST14's port 9 worn (20 %); line 2 (stations 9 to 16) given a bad firmware batch on
# 20 and 21 November (a third failing FW 7730.0398); no work on Sunday 15 November. A FAIL is
# checked again two minutes later and passes.
month="$out/month"
mkdir -p "$month"
cp docs/demo/line16.chk "$month/"
awk -v dir="$month" -v header="$header" -v good="$good" -v name="$name" '
  BEGIN {
    srand(7)
    bad = good; sub(/FW 7730.0412$/, "FW 7730.0398", bad)
    for (st = 1; st <= 24; st++) {
      line = int((st - 1) / 8) + 1
      station = st == 24 ? "QC-24" : sprintf("LINE%d-ST%02d", line, st)
      for (day = 1; day <= 30; day++) {
        if (day == 15) continue
        if (st == 24) {
          file = sprintf("%s/QC-24_2026-11-%02d.csv", dir, day)
          printf "\xEF\xBB\xBF%s\r\n", header > file
        } else {
          file = sprintf("%s/%s.csv", dir, station)
          if (day == 1)
            printf "\xEF\xBB\xBF%s,Serial number,Check file,Station,Failed items\r\n", header > file
        }
        for (i = 0; i < 48; i++) {
          port = i % 16 + 1
          rate = 0.02
          if (station == "LINE2-ST14" && port == 9) rate = 0.20
          batch = line == 2 && (day == 20 || day == 21)
          if (batch) rate = 0.33
          fail = rand() < rate
          values = fail ? (batch ? bad : name) : good
          m = 480 + i * 5
          time = sprintf("2026-11-%02d %02d:%02d:00", day, int(m / 60), m % 60)
          serial = sprintf("S%02d%02d%02d", st, day, i)
          tail = st == 24 ? "" : sprintf(",%s,line16.chk,%s,", serial, station)
          items = st == 24 || !fail ? "" : batch ? "FWVer" : "ProductName"
          printf "%s,%d,%d,E,%s,%s%s%s\r\n", time, port, port, fail ? "FAIL" : "PASS", values, tail,
            items > file
          if (fail) {
            time = sprintf("2026-11-%02d %02d:%02d:00", day, int((m + 2) / 60), (m + 2) % 60)
            printf "%s,%d,%d,E,PASS,%s%s\r\n", time, port, port, good, tail > file
          }
        }
        if (st == 24) close(file)
      }
      close(file)
    }
  }'
cat "$month"/*.csv | cut -d, -f1 | grep '^2026' | sort >"$out/month-times.txt"
first=$(head -n 1 "$out/month-times.txt")
last=$(tail -n 1 "$out/month-times.txt")
"$report" --target 97% --html "$out/month.html" "$month" >"$out/month.txt"
size=$(stat -c %s "$out/month.html")
[ "$size" -lt 1000000 ] || { echo "report-test: the month's page is $size bytes"; exit 1; }
"${browser[@]}" --dump-dom "file://$PWD/$out/month.html" >"$out/month-dom.html" 2>>"$out/browser.err"
"${browser[@]}" --no-pdf-header-footer --print-to-pdf="$PWD/$out/month.pdf" \
  "file://$PWD/$out/month.html" >/dev/null 2>>"$out/browser.err"
"${browser[@]}" --window-size=390,9000 --screenshot="$PWD/$out/month-390.png" \
  "file://$PWD/$out/month.html" >/dev/null 2>>"$out/browser.err"

grep -qF "<p id=\"period\">From <b>$first</b> to <b>$last</b></p>" "$out/month-dom.html" ||
  { echo "report-test: the month's page does not name its period ($first to $last)"; exit 1; }
[ "$(sed -n '/id="stations"/,/<\/table>/p' "$out/month-dom.html" | grep -c '^<tr><td>')" -eq 24 ] ||
  { echo "report-test: the month's page has not 24 stations"; exit 1; }
marked=$(sed -n '/id="worst-ports"/,/<\/table>/p' "$out/month-dom.html" | grep 'stands out</td>' |
           sed 's#^<tr><td>\([^<]*\)</td><td>\([^<]*\)</td>.*#\1 \2#')
[ "$marked" = "LINE2-ST14 port 9" ] ||
  { echo "report-test: the ports standing out are not LINE2-ST14's port 9 alone: $marked"; exit 1; }
# The firmware batch's two days head the days under the target, each naming a station of line 2
# and the batch's firmware.
for day in 2026-11-20 2026-11-21; do
  sed -n '/id="worst-days"/,/<\/table>/p' "$out/month-dom.html" |
    grep -q "^<tr><td>$day</td><td>[0-9.]*%</td><td>LINE2-ST[01][0-9]: [0-9]* of [0-9]*</td><td>FWVer = FW 7730.0398: [0-9]*</td></tr>" ||
    { echo "report-test: $day is not named with its station and firmware"; exit 1; }
done

# The PDF: A4 pages (595 by 842 points), at most 10 of them.
[ -s "$out/month.pdf" ] || { echo "report-test: no PDF"; cat "$out/browser.err"; exit 1; }
pages=$(grep -a -c '/Type /Page\b' "$out/month.pdf" || true)
grep -a -q '/MediaBox \[0 0 59[45]\.[0-9]* 84[12]\.[0-9]*\]' "$out/month.pdf" ||
  { echo "report-test: the PDF's pages are not A4"; exit 1; }
echo "report-test: the month's page: $size bytes, $pages A4 pages in $out/month.pdf"
[ "$pages" -ge 1 ] && [ "$pages" -le 10 ] || { echo "report-test: the month prints on $pages pages"; exit 1; }

# At 390 pixels every chart scales with its box, and nothing reaches the right edge: the page's
# margin there stays blank all the way down.
grep -o '<svg [^>]*>' "$out/month-dom.html" | grep -v 'viewBox="0 0 [0-9.]* [0-9.]*" ' |
  grep . && { echo "report-test: a chart without a viewBox"; exit 1; }
grep -o '<svg [^>]*>' "$out/month-dom.html" | grep -v 'width="100%"' |
  grep . && { echo "report-test: a chart of a fixed width"; exit 1; }
edge=$(convert "$out/month-390.png" -gravity east -crop 4x+0+0 +repage -fill black -fuzz 2% \
         +opaque white -fill white -opaque white -negate -format "%[fx:round(mean*w*h)]" info:)
[ "$edge" -eq 0 ] || { echo "report-test: $edge pixels at the right edge of $out/month-390.png"; exit 1; }
echo "report-test: ok"
