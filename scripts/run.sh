#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. Until the main
# window exists this is the simulated reader, kordex-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/bin/kordex-sim "$@"
