#!/usr/bin/env bash
# Starts the stand-in of the GIF service as `make run` does, in the foreground (it becomes
# this process): on the port given, keeping its accounts, tokens, packs, favourites and
# uploads in the user's data folder ($XDG_DATA_HOME/glimdeck-standin/state.json, by default
# ~/.local/share/glimdeck-standin/state.json) from one run to the next. STANDIN_FRESH=1
# starts it empty, discarding what earlier runs kept.
#   scripts/run-standin.sh BUILD PORT
set -euo pipefail
build=${1:?usage: run-standin.sh BUILD PORT}
port=${2:?usage: run-standin.sh BUILD PORT}
arguments=(--port "$port" --keep-state)
if [ -n "${STANDIN_FRESH:-}" ] && [ "${STANDIN_FRESH}" != 0 ]; then
  arguments+=(--fresh)
fi
exec "$build/glimdeck-standin" "${arguments[@]}"
