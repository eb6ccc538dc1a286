#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velmora.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup.sh"
"$here/build.sh"
exec "${VELMORA_BUILD:-$here/../build}/velmora" "$@"
