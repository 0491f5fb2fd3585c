#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in its demo mode:
# a simulated reader on COM1 and a demo program directory with reference data
# that match the simulated collector. Arguments are passed on to kordex.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/bin/kordex --demo "$@"
