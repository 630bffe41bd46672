#!/usr/bin/env bash
# The figures of check passes at scale, each beside its anchor, in one run
# (`make pass-figures`): 200 fast sites and 200 with 10 hanging (against curl
# and the slowest site alone), 10,000 sites without the window (against curl
# --parallel-max at the same limit), the window during passes over 200, 2,000
# and 10,000 sites (its longest wait, CPU a site, its own thread's CPU, RSS
# after each of ten passes) and its start with 10,000 sites and a history.
# The load average goes beside each program: on a loaded machine the times
# and their ratios are noisy; the CPU a site is not.
set -euo pipefail
cd "$(dirname "$0")/.."
bench=build/release/bench
run() {
    echo "== ${*#$bench/} (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    "$@" 2> >(grep -v -e '^QStandardPaths' -e '^OpenUrl failed' >&2)
}
run "$bench/vantrel_bench_parallelpass"
run "$bench/vantrel_bench_largepass"
run "$bench/vantrel_bench_windowpass" 200 3
run "$bench/vantrel_bench_windowpass" 2000 3
run "$bench/vantrel_bench_windowpass" 10000 10
