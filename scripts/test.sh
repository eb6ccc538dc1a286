#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup.sh"
"$here/build.sh"
cd "${VELMORA_BUILD:-$here/../build}"
ctest --output-on-failure --timeout 600 -j2 "$@"
