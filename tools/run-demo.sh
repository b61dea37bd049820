#!/usr/bin/env bash
# Installs what is missing, builds, creates a demo practice the first time, and starts Taluvo on it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
build_all
DATA="${TALUVO_DEMO_DIR:-$ROOT/demo-data}"
if [ ! -f "$DATA/taluvo.sqlite" ]; then
    "$BUILD/src/taluvo" db demo "$DATA"
fi
exec "$BUILD/src/taluvo" --data "$DATA"
