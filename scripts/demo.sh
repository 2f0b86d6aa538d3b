#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job against simulated cameras on loopback.
source "$(dirname "$0")/lib.sh"
install_packages
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

CAMLIFT="$CAMLIFT_ROOT/build/cli/camlift"
"$CAMLIFT" --help
