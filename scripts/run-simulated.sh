#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program connected to the
# built-in simulated meter. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec "${KELVAR_BUILD_DIR:-build}/src/app/kelvar517" --simulate "$@"
