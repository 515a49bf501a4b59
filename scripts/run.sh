#!/usr/bin/env bash
# Installs what is missing, builds Kelvo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build --target kelvo
exec ./build/app/kelvo
