#!/usr/bin/env bash
# Starts what the project can run: the application when it is built, against the local
# stand-in of the GIF service unless GLIMDECK_SERVICE_URL already points elsewhere; until
# then the stand-in alone, which prints its address and serves until interrupted.
set -euo pipefail
build=${1:-build}
port=${GLIMDECK_STANDIN_PORT:-8765}

if [ ! -x "$build/glimdeck" ]; then
  exec "$build/glimdeck-standin" --port "$port"
fi

if [ -n "${GLIMDECK_SERVICE_URL:-}" ]; then
  exec "$build/glimdeck"
fi

"$build/glimdeck-standin" --port "$port" &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true' EXIT
# Wait for the stand-in to answer before the application asks it anything.
for _ in $(seq 1 50); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  sleep 0.1
done
export GLIMDECK_SERVICE_URL="http://127.0.0.1:$port"
"$build/glimdeck"
