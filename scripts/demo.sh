#!/usr/bin/env bash
# Builds everything and runs the main job: `kestro demo` (extra arguments go to it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/tools/kestro demo "$@"
