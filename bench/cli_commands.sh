#!/usr/bin/env bash
# vantrel check against curl (and check_http/check_curl where installed) on
# one loopback URL, and vantrel list on 10,000 sites; see cli_commands.py.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/cli_commands.py build/release/app/vantrel
