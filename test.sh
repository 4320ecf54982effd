#!/bin/sh
# Installs what is missing (make too: a minimal Debian has none), builds, runs every test.
# Plain sh, since it must start before anything is installed.
set -e
cd "$(dirname "$0")"
bash scripts/bootstrap
exec make test
