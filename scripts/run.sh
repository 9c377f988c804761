#!/usr/bin/env bash
# Starts the application against the local stand-in of the GIF service (unless
# GLIMDECK_SERVICE_URL already points elsewhere) and stops the stand-in when the
# application quits. The stand-in keeps what it was told in the user's data folder, so the
# next run meets the same service (scripts/run-standin.sh; STANDIN_FRESH=1 starts it
# empty). On a desktop the application shows its icon in the tray and its panel under it;
# without a display it says so in one line and runs headless (Ctrl-C ends it).
set -euo pipefail
build=${1:-build}
port=${GLIMDECK_STANDIN_PORT:-8765}

if [ -n "${GLIMDECK_SERVICE_URL:-}" ]; then
  exec "$build/glimdeck"
fi

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "run: port $port is taken; set GLIMDECK_STANDIN_PORT to a free one" >&2
  exit 1
fi
bash "$(dirname "$0")/run-standin.sh" "$build" "$port" &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true' EXIT
# Wait for the stand-in to answer before the application asks it anything.
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  if ! kill -0 "$standin" 2>/dev/null; then
    echo "run: the stand-in did not start" >&2
    exit 1
  fi
  sleep 0.1
done
export GLIMDECK_SERVICE_URL="http://127.0.0.1:$port"
status=0
"$build/glimdeck" || status=$?
exit "$status"
