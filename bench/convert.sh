#!/usr/bin/env bash
# Usage: bench/convert.sh SIZE_MB
#
# Makes the benchmark input of SIZE_MB MiB (GBK JSON lines, CR LF, about 330
# bytes and 16 members per line) in /dev/shm once, keeping it for later runs,
# converts it with build/ombrelk-convert, outputs on tmpfs beside it, and
# prints MB/s (10^6 bytes of input per second), lines/s and peak RSS. Where
# DuckDB (npm @duckdb/node-api), Miller (mlr) or jq are installed it times
# them on the same lines in the same run and prints their figures against ours.
#
# The other tools read UTF-8 only (GBK's second bytes include '\', so the
# input is not even valid JSON text to them); they get a UTF-8 copy of the
# same lines, made once with iconv. The ratios compare lines per second.
#
# OMBRELK_BUILD_DIR picks another build tree (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

size=${1:-}
if [[ ! $size =~ ^[1-9][0-9]*$ ]]; then
  echo "Usage: bench/convert.sh SIZE_MB" >&2
  exit 2
fi
build=${OMBRELK_BUILD_DIR:-build}
convert=$build/ombrelk-convert
make_input=$build/bench/make_bench_input
for program in "$convert" "$make_input"; do
  if [ ! -x "$program" ]; then
    echo "bench/convert.sh: $program is missing; build first: cmake --build $build" >&2
    exit 1
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "bench/convert.sh: /usr/bin/time is missing (Debian package 'time')" >&2
  exit 1
fi

dir=/dev/shm/ombrelk-bench
mkdir -p "$dir"
input=$dir/bench_${size}mb.json
if [ ! -s "$input" ]; then
  echo "making $input ..."
  "$make_input" "$size" "$input.part"
  mv "$input.part" "$input"
fi
bytes=$(stat -c %s "$input")

# measure NAME COMMAND...: runs COMMAND under /usr/bin/time -v, stdout to
# $dir/NAME.out, stderr to $dir/NAME.err; sets `seconds` and `rss_kib`.
measure() {
  local name=$1
  shift
  local start end
  start=$(date +%s.%N)
  if ! /usr/bin/time -v -o "$dir/$name.time" "$@" >"$dir/$name.out" 2>"$dir/$name.err"; then
    echo "$name failed:" >&2
    cat "$dir/$name.err" >&2
    return 1
  fi
  end=$(date +%s.%N)
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/$name.time")
}

# report NAME BYTES LINES: one line of figures from `seconds` and `rss_kib`.
report() {
  awk -v n="$1" -v b="$2" -v l="$3" -v s="$seconds" -v r="$rss_kib" 'BEGIN {
    printf "%-16s %8.2f s %9.1f MB/s %12.0f lines/s   peak RSS %7.1f MiB\n",
           n, s, b / 1e6 / s, l / s, r / 1024 }'
}

csv=$dir/bench_${size}mb.csv
rm -f "$csv"
measure ombrelk "$convert" "$input"
lines=$(awk '/ lines, / { print $1 }' "$dir/ombrelk.err")
ours=$seconds
rm -f "$csv"
echo "input: $input, $bytes bytes, $lines lines"
report ombrelk-convert "$bytes" "$lines"

# ratio NAME: how many times ombrelk-convert's lines/s this tool reaches.
ratio() {
  awk -v n="$1" -v o="$ours" -v s="$seconds" 'BEGIN {
    printf "%-16s ombrelk-convert is %.2fx its speed (lines/s)\n", "", s / o }'
}

utf8=$dir/bench_${size}mb.utf8.json
need_utf8() {
  if [ ! -s "$utf8" ]; then
    iconv -f GBK -t UTF-8 "$input" >"$utf8.part"
    mv "$utf8.part" "$utf8"
  fi
}

node_root=$(npm root -g 2>/dev/null || true)
if command -v node >/dev/null &&
    NODE_PATH=$node_root node -e "require('@duckdb/node-api')" 2>/dev/null; then
  need_utf8
  cat >"$dir/duckdb_convert.js" <<'EOF'
const { DuckDBInstance } = require('@duckdb/node-api');
(async () => {
  const [input, output] = process.argv.slice(2);
  const quote = (text) => "'" + text.replace(/'/g, "''") + "'";
  const db = await DuckDBInstance.create(':memory:');
  const connection = await db.connect();
  await connection.run(`COPY (SELECT * FROM read_json(${quote(input)}, format = 'newline_delimited'))
                        TO ${quote(output)} (HEADER, DELIMITER ',')`);
})().catch((e) => { console.error(e.message); process.exit(1); });
EOF
  if measure duckdb env NODE_PATH="$node_root" node "$dir/duckdb_convert.js" "$utf8" "$dir/duckdb.csv"; then
    report "duckdb (utf-8)" "$(stat -c %s "$utf8")" "$lines"
    ratio duckdb
  fi
  rm -f "$dir/duckdb.csv"
fi

if command -v mlr >/dev/null; then
  need_utf8
  if measure mlr mlr --ijsonl --ocsv cat "$utf8"; then
    report "mlr (utf-8)" "$(stat -c %s "$utf8")" "$lines"
    ratio mlr
  fi
fi

if command -v jq >/dev/null; then
  need_utf8
  if measure jq jq -r '[.[] | if type == "array" or type == "object" then tojson else . end] | @csv' "$utf8"; then
    report "jq (utf-8)" "$(stat -c %s "$utf8")" "$lines"
    ratio jq
  fi
fi
# The inputs stay for the next run; what the tools wrote goes.
rm -f "$dir"/*.out "$dir"/*.err "$dir"/*.time "$dir/duckdb_convert.js"
