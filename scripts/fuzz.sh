#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each of them in turn.
#
#   scripts/fuzz.sh                  each target for 60 seconds
#   scripts/fuzz.sh 45               each target for 45 seconds (make test)
#   scripts/fuzz.sh --runs 10000000  the long run: ten million inputs each
#
# FUZZ_TARGETS="fuzz_settings fuzz_site_list" picks targets. Seeds come from
# fuzz/corpus/<target>/ (kept in the repository, never written); what the
# fuzzer finds on top of them goes to build/fuzz/corpus/<target>/, inputs
# that crash to build/fuzz/artifacts/. Ends with status 1 when any target
# crashed, leaked, broke one of its properties or got a sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
label="60 s"
case "${1:-}" in
    --runs) limit=(-runs="${2:?--runs needs a number}"); label="${2} runs" ;;
    "") ;;
    *) limit=(-max_total_time="$1"); label="$1 s" ;;
esac
targets=(${FUZZ_TARGETS:-fuzz_site_list fuzz_settings fuzz_error_url fuzz_smtp_reply fuzz_alert_template})

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${FUZZ_BUILD_JOBS:-2}"

build=build/fuzz
mkdir -p "$build/artifacts"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    seeds=fuzz/corpus/$name
    found=$build/corpus/$name
    log=$build/$target.log
    mkdir -p "$found"
    # The mailer target needs room past the 13000-byte read size; a data file
    # or an error URL shows nothing new beyond 4 KB but costs more per input.
    case $name in
        smtp_reply) max_len=16384 ;;
        *) max_len=4096 ;;
    esac
    echo "== $target ($label)"
    start=$(date +%s)
    status=0
    "$build/fuzz/$target" "${limit[@]}" -max_len=$max_len -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" "$found" "$seeds" >"$log" 2>&1 || status=$?
    took=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    reports=$(grep -c -E '^==[0-9]+==ERROR|runtime error:|property broken' "$log" || true)
    echo "   ${runs:-?} executions in ${took} s, exit status $status, sanitizer or property reports: $reports"
    if [ "$status" -ne 0 ] || [ "$reports" -ne 0 ]; then
        failed=1
        grep -E -A30 '^==[0-9]+==ERROR|runtime error:|property broken' "$log" | head -60 || true
        echo "   full output: $log"
    fi
done
exit $failed
