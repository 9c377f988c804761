#!/usr/bin/env bash
# Starts what the project can run: the application when it is built, against the local
# stand-in of the GIF service unless GLIMDECK_SERVICE_URL already points elsewhere.
set -euo pipefail
build=${1:-build}
exec "$build/glimdeck-standin" --port "${GLIMDECK_STANDIN_PORT:-8765}"
