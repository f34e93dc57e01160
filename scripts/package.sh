#!/usr/bin/env bash
# Builds the release tree and makes the Debian package from it. Usage:
# scripts/package.sh [BUILD_DIR]. The package's path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
scripts/build.sh "$dir" >&2
(cd "$dir" && cpack -G DEB -B "$PWD/package" >&2)
deb=$(ls -t "$dir"/package/zelkora_*.deb | head -n 1)
realpath "$deb"
