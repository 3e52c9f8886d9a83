#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${KELVAR_BUILD_DIR:-build}"
# CTest starts the private PostgreSQL server of the database tests before them
# and stops it after them (scripts/test-db-server.sh).
ctest --output-on-failure --timeout 900
