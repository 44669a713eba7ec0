#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
ORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$ORVANE_ROOT/scripts/common.sh"

orvane_install_packages
orvane_build "$ORVANE_ROOT/build" -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF
exec "$ORVANE_ROOT/build/bin/orvane" "$@"
