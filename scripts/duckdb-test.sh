#!/usr/bin/env bash
# tavrin-report --records read by an analytical engine: DuckDB (npm's @duckdb/node-api at a
# pinned version, installed with npm into the build folder) runs the README's query over the
# records of a generated folder of logs (both formats, a corrupt file, broken lines, quoted
# fields, bytes that are no UTF-8), and its counts (records, PASS, FAIL, per station) must be
# the report's own. Seconds.
#   scripts/duckdb-test.sh [BUILD]    (BUILD: a native build folder, build/native by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
report="$build/tools/tavrin-report"
out="$build/duckdb-test"
modules="$build/duckdb-node"
duckdb_version=1.5.6-r.1

fail() { echo "duckdb-test: $*" >&2; exit 1; }

installed=$(node -p "require('./$modules/node_modules/@duckdb/node-api/package.json').version" \
              2>/dev/null || true)
if [ "$installed" != "$duckdb_version" ]; then
  echo "duckdb-test: installing @duckdb/node-api@$duckdb_version into $modules"
  mkdir -p "$modules"
  npm install --prefix "$modules" --no-save --no-audit --no-fund --loglevel=error \
    "@duckdb/node-api@$duckdb_version" >/dev/null
fi

rm -rf "$out"
mkdir -p "$out/logs"
header='Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,ProductName,RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,Interleave,CacheProgram,DualMode,Randomize,CapMin,CapMax,MPVer,FWVer'
# Three stations in the current format over two days, one log a day each; one disk in
# thirteen fails. A few lines are quoted, one holds a line break, one a byte that is no UTF-8.
for station in 1 2 3; do
  for day in 08 09; do
    name="line1-st0${station}_2026-12-$day.csv"
    [ "$station" -eq 3 ] && [ "$day" = 09 ] && name="LINE1-ST03_2026-12-$day.CSV"
    awk -v station="$station" -v day="$day" -v header="$header" 'BEGIN {
      printf "\xEF\xBB\xBF%s,Serial number,Check file,Station,Failed items\r\n", header
      for (i = 0; i < 150 + 40 * station; i++) {
        port = i % 16 + 1
        verdict = (i * 7 + station) % 13 == 0 ? "FAIL" : "PASS"
        vol = "E"; vendor = "Generic"
        if (i % 50 == 10) vol = "\"E,\r\nF\""
        if (i % 50 == 20) vendor = "\"Generic, \"\"Inc\"\"\""
        if (i % 50 == 30) vendor = "Gen\xFFric"
        printf "2026-12-%s %02d:%02d:%02d,%d,%d,%s,%s,1234,7730,1.00,%s,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0412,AA%d%02d%04d,line16.chk,LINE1-ST0%d,%s\r\n",
          day, 8 + int(i / 60), i % 60, station, port, port, vol, verdict, vendor, station, day, i, station,
          verdict == "FAIL" ? "ProductName" : ""
      }
      # Lines that are not records: zeros where a power cut left them, a time that is none,
      # a field short.
      printf "ZEROFILL\r\n"
      printf "yesterday,1,1,E,PASS,1234\r\n"
      printf "2026-12-%s 23:00:00,1,1,E,FAIL\r\n", day
    }' | sed 's/^ZEROFILL/\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00/' \
      >"$out/logs/$name"
  done
done
# An older station in free mode, in the oldest format: named after its file.
awk -v header="$header" 'BEGIN {
  printf "\xEF\xBB\xBF%s\r\n", header
  for (i = 0; i < 90; i++)
    printf "2026-12-08 10:%02d:%02d,,%d,G,%s,1234,7730,1.00,Generic,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0412\r\n",
      int(i / 60), i % 60, i % 4 + 1, i % 9 == 4 ? "FAIL" : "PASS"
}' >"$out/logs/QC-09.csv"
# A log the disk lost: zeros, then bytes of anything.
{ head -c 4096 /dev/zero; printf 'Date and\xFF,,,\r\n1,2\r\n'; } >"$out/logs/corrupt.csv"

# The report: the corrupt log is named and the run says so (1); the records are written.
status=0
"$report" --records "$out/records.csv" "$out/logs" >"$out/summary.txt" 2>"$out/errors.txt" ||
  status=$?
[ "$status" -eq 1 ] || { cat "$out/errors.txt"; fail "tavrin-report exited $status, not 1"; }
grep -q 'corrupt.csv: not read (not a result log' "$out/errors.txt" ||
  { cat "$out/errors.txt"; fail "the corrupt log was not named"; }
[ -s "$out/records.csv" ] || fail "no records file"

# The README's query, on the records file.
sql=$(awk '/^    / && /read_csv\(.records\.csv./ { found = 1 }
           /^    / { block = block substr($0, 5) "\n"; next }
           { if (found) { printf "%s", block; exit } block = "" }
           END { if (found) printf "%s", block }' README.md)
[ -n "$sql" ] || fail "README.md holds no query that reads records.csv"
sql=${sql//records.csv/$PWD/$out/records.csv}
node scripts/duckdb-query.cjs "$modules" "$sql" | cut -f 1-4 | sort >"$out/duckdb.tsv"

# The report's own counts: per station its verdicts and failures, and the totals.
awk '/^stations/ { on = 1; next }
     on && /^  [^ ].*: [0-9]+ checked, [0-9]+ failed/ {
       sub(/^  /, ""); n = split($0, part, ": "); name = part[1]
       split(part[2], figures, " "); printf "%s\t%d\t%d\t%d\n", name, figures[1], figures[1] - figures[3], figures[3]
       next
     }
     on && /^[^ ]/ { on = 0 }' "$out/summary.txt" | sort >"$out/report.tsv"
[ -s "$out/report.tsv" ] || { cat "$out/summary.txt"; fail "no stations in the report's summary"; }
if ! diff -u "$out/report.tsv" "$out/duckdb.tsv"; then
  fail "DuckDB's counts per station (+) differ from the report's (-)"
fi
read -r checked pass failed < <(sed -n 's/^checked \([0-9]*\), PASS \([0-9]*\), FAIL \([0-9]*\),.*/\1 \2 \3/p' \
                                  "$out/summary.txt")
read -r total total_pass total_fail < <(awk -F '\t' '{ v += $2; p += $3; f += $4 } END { print v, p, f }' \
                                          "$out/duckdb.tsv")
[ "$checked $pass $failed" = "$total $total_pass $total_fail" ] ||
  fail "DuckDB counts $total records, $total_pass PASS, $total_fail FAIL; the report $checked, $pass, $failed"
stations=$(wc -l <"$out/duckdb.tsv")
echo "duckdb-test: $stations stations, $total records, $total_pass PASS, $total_fail FAIL: DuckDB agrees with the report"
