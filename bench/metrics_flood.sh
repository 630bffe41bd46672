#!/usr/bin/env bash
# The metrics endpoint under a flood of connections for 60 seconds, beside
# the same 60 seconds without it (the anchor): the real program, headless,
# an open-file limit of 1024, time 100 times faster (a pass every 3 s). Each
# run checks that every pass had the outcomes of a quiet run, the log is
# complete and SIGTERM saves and ends with 0; compare the passes a second.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/release/app/vantrel
seconds=${FLOOD_SECONDS:-60}
python3 tests/e2e/metrics_flood_e2e.py "$exe" --seconds "$seconds" --quiet | grep -E "^quiet|passed"
python3 tests/e2e/metrics_flood_e2e.py "$exe" --seconds "$seconds" | grep -E "^flood|passed"
