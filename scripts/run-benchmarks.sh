#!/usr/bin/env bash
# Runs every benchmark of the release build and the comparison scripts.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/release/bench/vantrel_bench_*; do
    [ -x "$b" ] || continue
    echo "== $b"
    "$b"
done
for s in bench/*.sh; do
    [ -f "$s" ] || continue
    echo "== $s"
    bash "$s"
done
