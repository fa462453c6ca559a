#!/bin/bash
# ctest's emulator for the Windows builds: wine-run.sh PREFIX BITS PROGRAM [ARGS...]
# Exit codes pass through Wine unchanged.
. "$(dirname "$0")/wine-env.sh"
vestibar_wine_env "$1" "$2"
shift 2
exec "$WINELOADER" "$@"
