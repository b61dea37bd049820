#!/usr/bin/env bash
# The data module's everyday moves on a PostgreSQL copy of the scale data set, side by side with
# psql running the statements the engine sends. TALUVO_BENCH_PG: a libpq URI of a database made
# with `taluvo db demo URI --patients 100000 --exams 300000 --seed 1`. Medians in milliseconds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TALUVO_BUILD_DIR:-$ROOT/build}"
URI="${TALUVO_BENCH_PG:?set TALUVO_BENCH_PG to the data set URI}"
RUNS="${1:-50}"

# Median of the "Time:" lines psql prints for RUNS runs of one statement (or block).
psql_median() {
    local sql="$1"
    for _ in $(seq "$RUNS"); do echo "$sql"; done \
        | psql "$URI" -q -X -o /dev/null -c '\timing on' -f - 2>&1 \
        | sed -n 's/^Time: \([0-9.]*\) ms.*/\1/p' \
        | sort -n | awk '{a[NR]=$1} END {print "median:", a[int((NR+1)/2)], "ms"}'
}

echo "== psql: the whole patient table in name order"
psql_median "select NF, NOME, DNASC, BENIF from bddid order by NOME_ORDEM, NOME;"
echo "== psql: the first window of it, as the engine reads it"
psql_median "select * from bddid order by nome_ordem nulls first, nome nulls first, rowid limit 200;"
echo "== psql: a patient's exams and the first exam's scores"
psql_median "select * from eco where codigopaciente = 4242 order by codigopaciente nulls first, codigoexame nulls first, rowid; select * from imagem where codpacientei = 4242 order by codpacientei nulls first, dodexamei nulls first, rowid;"
echo "== psql: an exam post with its score row (check, two updates, one transaction)"
psql_median "begin; select * from eco where codigopaciente = 4242 and codigoexame = (select min(codigoexame) from eco where codigopaciente = 4242); update eco set peso = peso where codigopaciente = 4242 and codigoexame = (select min(codigoexame) from eco where codigopaciente = 4242); update imagem set c1 = c1 where codpacientei = 4242; commit;"
echo "== psql: the first 100 rows of the exam list"
psql_median "select dataexame, codigoexame, nf, bddid.nome, medico.nome, medico, eco.dataexame, eco.rowid from medico right join eco on medico.codigo = executor, bddid where nf = eco.codigopaciente order by eco.dataexame desc nulls last, eco.rowid desc limit 100;"

echo "== engine"
TALUVO_BENCH_DATA="$URI" "$BUILD/bench/bench_postgresql" "$RUNS"
