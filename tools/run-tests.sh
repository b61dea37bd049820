#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test headless.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
build_all
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)"
