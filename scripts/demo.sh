#!/usr/bin/env bash
# Builds everything and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/tools/kestro-host-demo "$@"
