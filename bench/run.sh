#!/usr/bin/env bash
# Makes the scale data set once (100000 patients, 300000 exams), then measures the engine and
# sqlite3 on the same file. Medians over 10 repetitions.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TALUVO_BUILD_DIR:-$ROOT/build}"
DATA="${TALUVO_BENCH_DATA:-$BUILD/bench-data}"
export TALUVO_BENCH_DATA="$DATA"

cmake --build "$BUILD" --target taluvo bench_engine
if [ ! -f "$DATA/taluvo.sqlite" ]; then
    echo "== generating the data set"
    /usr/bin/time -f "demo generation: %e s" \
        "$BUILD/src/taluvo" db demo "$DATA" --patients 100000 --exams 300000 --seed 1
fi

echo "== sqlite3 CLI: select NF,NOME,DNASC,BENIF from bddid order by NOME (10 runs, ms)"
for i in $(seq 10); do
    s=$(date +%s%N)
    sqlite3 "$DATA/taluvo.sqlite" "select NF,NOME,DNASC,BENIF from bddid order by NOME" >/dev/null
    e=$(date +%s%N)
    echo $(( (e - s) / 1000000 ))
done | sort -n | awk '{a[NR]=$1} END {print "median:", (a[5]+a[6])/2, "ms"}'

echo "== engine"
"$BUILD/bench/bench_engine" --benchmark_repetitions=10 --benchmark_report_aggregates_only=true \
    "$@"
