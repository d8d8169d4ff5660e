#!/usr/bin/env bash
# Runs what Tavrin can do so far: builds the block decoder, makes a sample controller
# information block and decodes it as an engineer would with tavrin-block.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target tavrin-block tavrin-sample-block >/dev/null

sample=build/native/sample-block.bin
build/native/tools/tavrin-sample-block "$sample"
echo "tavrin-block --free 4000000000 $sample"
build/native/tools/tavrin-block --free 4000000000 "$sample"
echo
echo "tavrin-block --lang zh-CN $sample"
build/native/tools/tavrin-block --lang zh-CN "$sample"
